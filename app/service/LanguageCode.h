#pragma once

#include <QString>

#include <optional>

// The language the update request names: the localisation the application runs in, as one
// of the service's three-letter codes.
class LanguageCode final {
 public:
  enum class LocalizationCode { ja, en, fr, de, es, it, ru, ko, zhCN, zhTW };
  enum class ThreeCharCode { JPN, ENU, FRA, DEU, ESP, ITA, RUS, KOR, CHS, CHT };

  static QString text(LocalizationCode code);
  static QString text(ThreeCharCode code);
  static std::optional<LocalizationCode> localizationCode(const QString& text);
  static ThreeCharCode threeCharCode(LocalizationCode code);

  // From the bundle's first preferred localisation.
  static ThreeCharCode currentLanguageCode();
  // ENU for a localisation the table does not know.
  static ThreeCharCode languageCodeForLocalization(const QString& localization);
};
