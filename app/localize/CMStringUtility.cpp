#include "app/localize/CMStringUtility.h"

#include <QStringDecoder>

#include <cstring>

namespace {

bool isControl(char16_t unit) {
  if (unit < 0x20 || unit == 0x7F) {
    return true;
  }
  return unit > 0x7F && QChar(unit).category() == QChar::Other_Control;
}

}  // namespace

KvoHTMLSpecialCharMappingDict CMStringUtility::htmlSpecialCharMappingDictionary() { return {}; }

QString CMStringUtility::stringByReplacingHTMLSpecialCharacters(const QString& text) {
  const KvoHTMLSpecialCharMappingDict entities = htmlSpecialCharMappingDictionary();
  QString result;
  result.reserve(text.size());
  for (const QChar c : text) {
    const char16_t unit = c.unicode();
    if (isControl(unit)) {
      continue;
    }
    if (const auto entity = entities.value(unit)) {
      result.append(*entity);
    } else {
      result.append(c);
    }
  }
  return result;
}

std::optional<QString> CMStringUtility::stringWithCString(const char* bytes, qsizetype length,
                                                          QStringConverter::Encoding encoding) {
  if (bytes == nullptr || length <= 0) {
    return QString();
  }
  const auto* nul =
      static_cast<const char*>(std::memchr(bytes, 0, static_cast<std::size_t>(length)));
  const qsizetype n = nul != nullptr ? nul - bytes : length;
  if (n == 0) {
    return QString();
  }
  // Stateless so that a sequence cut off at the end counts as invalid; a leading BOM is
  // kept as a character like any other.
  QStringDecoder decoder(
      encoding, QStringConverter::Flag::Stateless | QStringConverter::Flag::ConvertInitialBom);
  QString text = decoder.decode(QByteArrayView(bytes, n));
  if (decoder.hasError()) {
    return std::nullopt;
  }
  return text;
}
