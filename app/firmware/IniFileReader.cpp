#include "app/firmware/IniFileReader.h"

#include <limits>

namespace {

bool isLineBreak(char16_t c) {
  return c == u'\n' || c == u'\r' || c == u'\v' || c == u'\f' || c == u'\u0085' || c == u'\u2028' ||
         c == u'\u2029';
}

// Every line of text, without its line break; "\r\n" is one break.
QList<QStringView> lines(QStringView text) {
  QList<QStringView> result;
  qsizetype start = 0;
  for (qsizetype i = 0; i < text.size(); ++i) {
    const char16_t c = text[i].unicode();
    if (!isLineBreak(c)) {
      continue;
    }
    result << text.mid(start, i - start);
    if (c == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') {
      ++i;
    }
    start = i + 1;
  }
  result << text.mid(start);
  return result;
}

// Digits in the given base with an optional leading sign, as an unsigned magnitude.
std::optional<uint64_t> parseMagnitude(QStringView digits, unsigned base) {
  if (digits.isEmpty()) {
    return std::nullopt;
  }
  uint64_t value = 0;
  for (const QChar c : digits) {
    const char16_t u = c.unicode();
    unsigned digit = 0;
    if (u >= u'0' && u <= u'9') {
      digit = u - u'0';
    } else if (base == 16 && u >= u'a' && u <= u'f') {
      digit = u - u'a' + 10;
    } else if (base == 16 && u >= u'A' && u <= u'F') {
      digit = u - u'A' + 10;
    } else {
      return std::nullopt;
    }
    if (value > (std::numeric_limits<uint64_t>::max() - digit) / base) {
      return std::nullopt;
    }
    value = value * base + digit;
  }
  return value;
}

}  // namespace

std::optional<int64_t> IniFileReader::Section::intValue(const QString& key) const {
  const auto found = parameters.constFind(key);
  if (found == parameters.constEnd()) {
    return std::nullopt;
  }
  QStringView text = *found;
  const bool negative = text.startsWith(u'-');
  if (negative || text.startsWith(u'+')) {
    text = text.mid(1);
  }
  const std::optional<uint64_t> magnitude = parseMagnitude(text, 10);
  constexpr auto kMax = static_cast<uint64_t>(std::numeric_limits<int64_t>::max());
  if (!magnitude || *magnitude > kMax + (negative ? 1 : 0)) {
    return std::nullopt;
  }
  if (negative) {
    // -(2^63) has no positive counterpart; negate in unsigned arithmetic.
    return static_cast<int64_t>(~*magnitude + 1);
  }
  return static_cast<int64_t>(*magnitude);
}

std::optional<uint64_t> IniFileReader::Section::hexValue(const QString& key) const {
  const auto found = parameters.constFind(key);
  if (found == parameters.constEnd()) {
    return std::nullopt;
  }
  QStringView text = *found;
  if (text.startsWith(u"0x")) {
    text = text.mid(2);
  }
  if (text.startsWith(u'+')) {
    text = text.mid(1);
  }
  return parseMagnitude(text, 16);
}

QList<IniFileReader::Section> IniFileReader::parse(QStringView text) {
  QList<Section> sections;
  std::optional<qsizetype> current;
  for (const QStringView rawLine : lines(text)) {
    const QStringView line = rawLine.trimmed();
    if (line.isEmpty() || line.startsWith(u';')) {
      continue;
    }
    if (line.startsWith(u'[')) {
      const qsizetype close = line.indexOf(u']');
      if (close >= 0) {
        sections.append(Section{line.mid(1, close - 1).toString(), {}});
        current = sections.size() - 1;
      }
      continue;
    }
    if (!current) {
      continue;
    }
    const QList<QStringView> pieces = line.split(u'=', Qt::SkipEmptyParts);
    if (pieces.size() >= 2) {
      sections[*current].parameters.insert(pieces[0].toString(), pieces[1].toString());
    }
  }
  return sections;
}
