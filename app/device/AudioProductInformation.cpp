#include "app/device/AudioProductInformation.h"

#include <QtEndian>

namespace {

// Little-endian UTF-16, refused when a surrogate is not part of a pair.
std::optional<QString> decodeUtf16(QByteArrayView bytes) {
  QString text;
  text.reserve(bytes.size() / 2);
  for (qsizetype i = 0; i + 1 < bytes.size(); i += 2) {
    text.append(QChar(qFromLittleEndian<char16_t>(bytes.data() + i)));
  }
  for (qsizetype i = 0; i < text.size(); ++i) {
    if (text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
      ++i;
    } else if (text[i].isSurrogate()) {
      return std::nullopt;
    }
  }
  return text;
}

}  // namespace

uint32_t productInformationCount(const QByteArray& answer) {
  if (answer.size() < 5) {
    return 0;
  }
  return qFromLittleEndian<uint32_t>(answer.constData());
}

QStringList productInformationTexts(const QByteArray& answer) {
  QStringList texts;
  const uint32_t count = productInformationCount(answer);
  const auto size = static_cast<qsizetype>(answer.size());
  qsizetype position = 4;
  while (static_cast<uint32_t>(texts.size()) < count && size >= 5) {
    const qsizetype units = static_cast<uint8_t>(answer[position]);
    const qsizetype next = position + 1 + 2 * units;
    if (next > size) {
      break;
    }
    // An entry of length 0 has no terminator and no text: it is skipped.
    if (units > 0) {
      if (const auto text =
              decodeUtf16(QByteArrayView(answer).sliced(position + 1, 2 * units - 2))) {
        texts.append(text->trimmed());
      }
    }
    if (next >= size) {
      break;
    }
    position = next;
  }
  return texts;
}

AudioProductInformation parseProductInformation(const QString& text) {
  AudioProductInformation info;
  const QStringList pieces = text.trimmed().split(QLatin1Char('-'), Qt::SkipEmptyParts);
  const auto cut = [](const QString& piece, qsizetype from,
                      qsizetype to) -> std::optional<QString> {
    if (piece.size() < to) {
      return std::nullopt;
    }
    return piece.mid(from, to - from);
  };
  if (!pieces.isEmpty()) {
    const QString& first = pieces[0];
    info.makerCode = cut(first, 0, 3);
    info.firmwareType = cut(first, 3, 4);
    info.modelID = cut(first, 4, 8);
    info.hardwareVersion = cut(first, 8, 12);
    info.reserved = cut(first, 12, 16);
  }
  if (pieces.size() > 1) {
    info.firmwareExtensionCode = cut(pieces[1], 0, 4);
    info.firmwareMajorVersion = cut(pieces[1], 4, 6);
    info.firmwareMinorVersion = cut(pieces[1], 6, 8);
  }
  if (pieces.size() > 2) {
    info.serialNumber = cut(pieces[2], 0, 12);
  }
  return info;
}
