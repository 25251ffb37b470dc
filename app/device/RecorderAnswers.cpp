#include "app/device/RecorderAnswers.h"

#include "driver/RecorderCommandLayout.h"

#include <QByteArray>
#include <QStringDecoder>
#include <QtEndian>

namespace RecorderAnswers {
namespace {

namespace Layout = RecorderCommandLayout;

// The answer with at least `length` bytes, the missing ones zero.
QByteArray padded(QByteArrayView answer, qsizetype length) {
  QByteArray bytes = answer.toByteArray();
  if (bytes.size() < length) {
    bytes.append(length - bytes.size(), '\0');
  }
  return bytes;
}

std::optional<QString> decodeUtf8(QByteArrayView bytes) {
  QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
  QString text = decoder.decode(bytes);
  if (decoder.hasError()) {
    return std::nullopt;
  }
  return text;
}

}  // namespace

std::optional<QString> modelName(QByteArrayView answer) {
  return decodeUtf8(padded(answer, Layout::kLabelLength).first(Layout::kLabelLength));
}

std::optional<RecorderFirmwareVersion> FirmwareVersion::version() const {
  if (!mainCPU || !subCPU) {
    return std::nullopt;
  }
  return RecorderFirmwareVersion{*mainCPU, musicCodecFile, *subCPU};
}

FirmwareVersion firmwareVersion(QByteArrayView answer) {
  const QByteArray bytes = padded(answer, Layout::kSubLabelAt + Layout::kLabelLength);
  FirmwareVersion decoded;
  decoded.mainCPU = decodeUtf8(QByteArrayView(bytes).first(Layout::kLabelLength));
  decoded.musicCodecFile = qFromLittleEndian<uint16_t>(bytes.constData() + Layout::kCodecAt);
  decoded.subCPU =
      bytes[Layout::kSubLabelAt] != 0
          ? decodeUtf8(QByteArrayView(bytes).sliced(Layout::kSubLabelAt, Layout::kLabelLength))
          : std::optional(QString());
  return decoded;
}

std::optional<QString> serialID(QByteArrayView answer) {
  const QByteArray bytes = padded(answer, 256);
  const auto length = static_cast<uint8_t>(bytes[0]);
  return length == 0 ? std::optional(QString())
                     : decodeUtf8(QByteArrayView(bytes).sliced(1, length));
}

uint32_t deviceID(QByteArrayView answer) {
  return qFromBigEndian<uint32_t>(padded(answer, 4).constData());
}

uint16_t blockCount(QByteArrayView answer) {
  return qFromBigEndian<uint16_t>(padded(answer, 2).constData());
}

bool needsModeChange(QByteArrayView deviceStatus) {
  return padded(deviceStatus, Layout::kModeByteAt + 1)[Layout::kModeByteAt] ==
         static_cast<char>(Layout::kNeedsModeChange);
}

std::vector<AudioProductInformation> productInformation(const QByteArray& answer) {
  std::vector<AudioProductInformation> parsed;
  for (const QString& text : productInformationTexts(answer)) {
    parsed.push_back(parseProductInformation(text));
  }
  return parsed;
}

}  // namespace RecorderAnswers
