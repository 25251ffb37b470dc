#include "app/device/VersionCode.h"

#include <QStringList>

#include <array>

namespace {

// The values of the first N characters read as single hexadecimal digits; any other
// character, or a missing one, counts as 0.
template <std::size_t N>
std::array<int, N> hexDigits(const QString& code) {
  std::array<int, N> digits{};
  for (qsizetype i = 0; i < qMin<qsizetype>(code.size(), N); ++i) {
    const int value = QStringView(code).mid(i, 1).toInt(nullptr, 16);
    digits[static_cast<std::size_t>(i)] = value;
  }
  return digits;
}

}  // namespace

QString versionCodeFromLabel(const QString& text) {
  if (text.size() != 8 || QStringView(text).left(4).compare(u"Ver ", Qt::CaseInsensitive) != 0) {
    return {};
  }
  return QString(text[4]) + text[6] + text[7] + QLatin1Char('0');
}

QString displayVersionFromCode(const QString& code) {
  const auto digits = hexDigits<3>(code);
  return QStringLiteral("%1.%2%3")
      .arg(digits[0], 0, 16)
      .arg(digits[1], 0, 16)
      .arg(digits[2], 0, 16)
      .toUpper();
}

bool isVersionCodeLower(const QString& a, const QString& b) {
  return hexDigits<4>(a) < hexDigits<4>(b);
}

QString shortVersionString(const QString& text) {
  const QStringList pieces = text.split(QLatin1Char('.'));
  std::array<long long, 3> values{};
  for (qsizetype i = 0; i < qMin<qsizetype>(pieces.size(), 3); ++i) {
    bool ok = false;
    const long long value = pieces[i].toLongLong(&ok, 10);
    if (ok) {
      values[static_cast<std::size_t>(i)] = value;
    }
  }
  QString result = QString::number(values[0]) + QLatin1Char('.') + QString::number(values[1]);
  if (values[2] != 0) {
    result += QLatin1Char('.') + QString::number(values[2]);
  }
  return result;
}
