#pragma once

#include "app/device/AudioProductInformation.h"

#include <QByteArrayView>
#include <QString>

#include <cstdint>
#include <optional>
#include <vector>

// The recorder's answers to ReadRecorderItem and to the update commands, decoded. Pure
// functions over the bytes the recorder sent: an answer shorter than its layout reads as if
// padded with zero bytes, as the zero-filled answer buffer holds it. A text that is not valid
// UTF-8 decodes to none.
namespace RecorderAnswers {

std::optional<QString> modelName(QByteArrayView answer);

// The firmware-version answer, piece by piece: the log shows what could be read.
struct FirmwareVersion {
  std::optional<QString> mainCPU;
  uint16_t musicCodecFile = 0;    // little-endian in the answer
  std::optional<QString> subCPU;  // empty when byte 10 is zero

  // None unless both labels decoded.
  std::optional<RecorderFirmwareVersion> version() const;
};
FirmwareVersion firmwareVersion(QByteArrayView answer);

// A length byte, then that many bytes of UTF-8.
std::optional<QString> serialID(QByteArrayView answer);
// Big-endian.
uint32_t deviceID(QByteArrayView answer);
// The block count that starting an update and asking whether the recorder is ready answer:
// big-endian.
uint16_t blockCount(QByteArrayView answer);
// True when the device status says the recorder must change mode before an update.
bool needsModeChange(QByteArrayView deviceStatus);
// Every decodable entry of the product-information answer, cut into its fields.
std::vector<AudioProductInformation> productInformation(const QByteArray& answer);

}  // namespace RecorderAnswers
