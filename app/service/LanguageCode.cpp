#include "app/service/LanguageCode.h"

#include "platform/Bundle.h"

#include <QHash>

#include <array>

namespace {

constexpr std::array<const char*, 10> kLocalizations = {"ja", "en", "fr", "de",    "es",
                                                        "it", "ru", "ko", "zh_CN", "zh_TW"};
constexpr std::array<const char*, 10> kThreeCharCodes = {"JPN", "ENU", "FRA", "DEU", "ESP",
                                                         "ITA", "RUS", "KOR", "CHS", "CHT"};

}  // namespace

QString LanguageCode::text(LocalizationCode code) {
  return QString::fromLatin1(kLocalizations.at(static_cast<size_t>(code)));
}

QString LanguageCode::text(ThreeCharCode code) {
  return QString::fromLatin1(kThreeCharCodes.at(static_cast<size_t>(code)));
}

std::optional<LanguageCode::LocalizationCode> LanguageCode::localizationCode(const QString& text) {
  for (size_t i = 0; i < kLocalizations.size(); ++i) {
    if (text == QLatin1String(kLocalizations.at(i))) {
      return static_cast<LocalizationCode>(i);
    }
  }
  return std::nullopt;
}

LanguageCode::ThreeCharCode LanguageCode::threeCharCode(LocalizationCode code) {
  static const QHash<LocalizationCode, ThreeCharCode> kMapping = [] {
    QHash<LocalizationCode, ThreeCharCode> mapping;
    for (size_t i = 0; i < kLocalizations.size(); ++i) {
      mapping.insert(static_cast<LocalizationCode>(i), static_cast<ThreeCharCode>(i));
    }
    return mapping;
  }();
  return kMapping.value(code, ThreeCharCode::ENU);
}

LanguageCode::ThreeCharCode LanguageCode::currentLanguageCode() {
  const QStringList preferred = Bundle::main().preferredLocalizations();
  return languageCodeForLocalization(preferred.isEmpty() ? QString() : preferred.first());
}

LanguageCode::ThreeCharCode LanguageCode::languageCodeForLocalization(const QString& localization) {
  const auto code = localizationCode(localization);
  return code ? threeCharCode(*code) : ThreeCharCode::ENU;
}
