#include "app/device/ScsiCdb.h"

#include <QStringList>

namespace {

constexpr uint8_t kReadRecorderItem = 0xE0;
constexpr uint8_t kRecorderModeChange = 0xE2;
constexpr uint8_t kUpdateFirmware = 0xE4;

void putBE32(ScsiCdb& cdb, size_t at, uint32_t value) {
  for (size_t i = 0; i < 4; ++i) {
    cdb.rawBytes.at(at + i) = static_cast<uint8_t>(value >> (24U - 8U * i));
  }
}

ScsiCdb updateFirmware(uint8_t step, uint32_t first, uint32_t second, uint8_t processor) {
  ScsiCdb cdb;
  cdb.rawBytes[0] = kUpdateFirmware;
  cdb.rawBytes[1] = step;
  putBE32(cdb, 2, first);
  putBE32(cdb, 6, second);
  cdb.rawBytes[11] = processor & 1U;
  return cdb;
}

}  // namespace

QString ScsiCdb::text() const {
  QStringList bytes;
  for (const uint8_t byte : rawBytes) {
    bytes.append(QStringLiteral("%1").arg(byte, 2, 16, QLatin1Char('0')).toUpper());
  }
  return bytes.join(QLatin1Char(' '));
}

RecorderItemInfo recorderItemInfo(RecorderItem item) {
  switch (item) {
    case RecorderItem::modelName:
      return {0x00, 8, 65536, "Send: ReadRecorderItem (ModelName)"};
    case RecorderItem::deviceStatus:
      return {0x01, 8, 8, "Send: ReadRecorderItem: (DeviceStatus)"};
    case RecorderItem::firmwareVersion:
      return {0x02, 0x0012, 65536, "Send: ReadRecorderItem (FirmwareVersion)"};
    case RecorderItem::serialID:
      return {0x06, 0x0100, 65536, "Send: ReadRecorderItem (SerialID)"};
    case RecorderItem::deviceID:
      return {0x0B, 4, 65536, "Send: ReadRecorderItem (DeviceID)"};
    case RecorderItem::productInformation:
      return {0x17, 0x018A, 65536, "Send: ReadRecorderItem (ProductInformation)"};
  }
  return {};
}

uint8_t processorByte(UpdateFirmwareTargetProcessor processor) {
  return static_cast<uint8_t>(processor) & 1U;
}

ScsiCdb ScsiCdb::readRecorderItem(RecorderItem item, uint16_t length) {
  ScsiCdb cdb;
  cdb.rawBytes[0] = kReadRecorderItem;
  cdb.rawBytes[1] = recorderItemInfo(item).code;
  cdb.rawBytes[2] = static_cast<uint8_t>(length >> 8U);
  cdb.rawBytes[3] = static_cast<uint8_t>(length & 0xFFU);
  return cdb;
}

ScsiCdb ScsiCdb::recorderModeChange(RecorderMode mode) {
  ScsiCdb cdb;
  cdb.rawBytes[0] = kRecorderModeChange;
  cdb.rawBytes[1] = static_cast<uint8_t>(mode);
  return cdb;
}

ScsiCdb ScsiCdb::updateFirmwareStart(uint32_t address, uint32_t length, uint8_t processor) {
  return updateFirmware(0x00, address, length, processor);
}

ScsiCdb ScsiCdb::updateFirmwareAreYouReady(uint8_t processor) {
  return updateFirmware(0x01, 0, 0, processor);
}

ScsiCdb ScsiCdb::updateFirmwareUploadFirmware(uint32_t length, uint8_t processor) {
  return updateFirmware(0x02, length, 0, processor);
}

ScsiCdb ScsiCdb::updateFirmwareFinish(uint8_t processor) {
  return updateFirmware(0x03, 0, 0, processor);
}

ScsiCdb ScsiCdb::updateFirmwareVerifyStart(uint32_t address, uint32_t length, uint8_t processor) {
  return updateFirmware(0x04, address, length, processor);
}

ScsiCdb ScsiCdb::updateFirmwareVerify(uint32_t length, uint8_t processor) {
  return updateFirmware(0x05, length, 0, processor);
}

ScsiCdb ScsiCdb::updateFirmwareVerifyFinish(uint8_t processor) {
  return updateFirmware(0x06, 0, 0, processor);
}
