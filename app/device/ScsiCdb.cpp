#include "app/device/ScsiCdb.h"

#include "driver/RecorderCommandLayout.h"

#include <QByteArray>
#include <QtEndian>

namespace {

namespace Layout = RecorderCommandLayout;
using Step = Layout::UpdateStep;

ScsiCdb updateFirmware(Step step, uint32_t first, uint32_t second, uint8_t processor) {
  ScsiCdb cdb;
  cdb.rawBytes[0] = Layout::kUpdateFirmware;
  cdb.rawBytes[Layout::kStepAt] = static_cast<uint8_t>(step);
  qToBigEndian(first, &cdb.rawBytes[Layout::kFirstNumberAt]);
  qToBigEndian(second, &cdb.rawBytes[Layout::kSecondNumberAt]);
  cdb.rawBytes[Layout::kProcessorAt] = processor & 1U;
  return cdb;
}

}  // namespace

QString ScsiCdb::text() const {
  return QString::fromLatin1(QByteArray::fromRawData(reinterpret_cast<const char*>(rawBytes.data()),
                                                     static_cast<qsizetype>(rawBytes.size()))
                                 .toHex(' ')
                                 .toUpper());
}

RecorderItemInfo recorderItemInfo(RecorderItem item) {
  switch (item) {
    case RecorderItem::modelName:
      return {Layout::kModelName, Layout::kAnswerBufferLength,
              "Send: ReadRecorderItem (ModelName)"};
    case RecorderItem::deviceStatus:
      return {Layout::kDeviceStatus, Layout::kDeviceStatus.allocationLength,
              "Send: ReadRecorderItem: (DeviceStatus)"};
    case RecorderItem::firmwareVersion:
      return {Layout::kFirmwareVersion, Layout::kAnswerBufferLength,
              "Send: ReadRecorderItem (FirmwareVersion)"};
    case RecorderItem::serialID:
      return {Layout::kSerialID, Layout::kAnswerBufferLength, "Send: ReadRecorderItem (SerialID)"};
    case RecorderItem::deviceID:
      return {Layout::kDeviceID, Layout::kAnswerBufferLength, "Send: ReadRecorderItem (DeviceID)"};
    case RecorderItem::productInformation:
      return {Layout::kProductInformation, Layout::kAnswerBufferLength,
              "Send: ReadRecorderItem (ProductInformation)"};
  }
  return {};
}

uint8_t processorByte(UpdateFirmwareTargetProcessor processor) {
  return static_cast<uint8_t>(processor) & 1U;
}

ScsiCdb ScsiCdb::readRecorderItem(RecorderItem item, uint16_t length) {
  ScsiCdb cdb;
  cdb.rawBytes[0] = Layout::kReadRecorderItem;
  cdb.rawBytes[Layout::kItemCodeAt] = recorderItemInfo(item).item.code;
  qToBigEndian(length, &cdb.rawBytes[Layout::kAllocationLengthAt]);
  return cdb;
}

ScsiCdb ScsiCdb::recorderModeChange(RecorderMode mode) {
  ScsiCdb cdb;
  cdb.rawBytes[0] = Layout::kRecorderModeChange;
  cdb.rawBytes[Layout::kModeAt] = static_cast<uint8_t>(mode);
  return cdb;
}

ScsiCdb ScsiCdb::updateFirmwareStart(uint32_t address, uint32_t length, uint8_t processor) {
  return updateFirmware(Step::start, address, length, processor);
}

ScsiCdb ScsiCdb::updateFirmwareAreYouReady(uint8_t processor) {
  return updateFirmware(Step::areYouReady, 0, 0, processor);
}

ScsiCdb ScsiCdb::updateFirmwareUploadFirmware(uint32_t length, uint8_t processor) {
  return updateFirmware(Step::uploadFirmware, length, 0, processor);
}

ScsiCdb ScsiCdb::updateFirmwareFinish(uint8_t processor) {
  return updateFirmware(Step::finish, 0, 0, processor);
}

ScsiCdb ScsiCdb::updateFirmwareVerifyStart(uint32_t address, uint32_t length, uint8_t processor) {
  return updateFirmware(Step::verifyStart, address, length, processor);
}

ScsiCdb ScsiCdb::updateFirmwareVerify(uint32_t length, uint8_t processor) {
  return updateFirmware(Step::verify, length, 0, processor);
}

ScsiCdb ScsiCdb::updateFirmwareVerifyFinish(uint8_t processor) {
  return updateFirmware(Step::verifyFinish, 0, 0, processor);
}
