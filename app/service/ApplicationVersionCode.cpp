#include "app/service/ApplicationVersionCode.h"

#include "platform/Bundle.h"

#include <QStringList>

#include <array>

namespace {

// An optional sign followed by digits only.
std::optional<int> signedDecimal(const QString& text) {
  QStringView digits(text);
  if (digits.startsWith(u'+') || digits.startsWith(u'-')) {
    digits = digits.mid(1);
  }
  if (digits.isEmpty() ||
      !std::all_of(digits.begin(), digits.end(), [](QChar c) { return c >= u'0' && c <= u'9'; })) {
    return std::nullopt;
  }
  bool ok = false;
  const int value = text.toInt(&ok);
  return ok ? std::optional(value) : std::nullopt;
}

}  // namespace

QString applicationVersionCode() {
  return applicationVersionCode(
      Bundle::main().infoValue(QStringLiteral("CFBundleShortVersionString")));
}

QString applicationVersionCode(const QVariant& shortVersion) {
  std::array<int, 8> digits{};
  if (shortVersion.typeId() == QMetaType::QString) {
    const QStringList pieces = shortVersion.toString().split(QLatin1Char('.'));
    for (qsizetype i = 0; i < pieces.size() && i < 4; ++i) {
      if (pieces[i].isEmpty()) {
        continue;
      }
      const std::optional<int> value = signedDecimal(pieces[i]);
      if (value && *value >= 0 && *value <= 9) {
        digits.at(static_cast<size_t>(i) + 4) = *value;
      }
    }
  }
  QString code;
  for (const int digit : digits) {
    code += QString::number(digit);
  }
  return code;
}
