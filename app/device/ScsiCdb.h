#pragma once

#include "app/device/AudioDevice.h"
#include "driver/RecorderCommandLayout.h"

#include <QString>

#include <array>
#include <cstdint>

// The item a ReadRecorderItem command reads.
enum class RecorderItem {
  modelName,
  deviceStatus,
  firmwareVersion,
  serialID,
  deviceID,
  productInformation
};

// The mode RecorderModeChange switches the recorder into; the application sends no other
// (the recorder's modes are listed in RecorderCommandLayout::kModes).
enum class RecorderMode : uint8_t { update = RecorderCommandLayout::kUpdateMode };

// One 16-byte vendor command block; numbers inside it are big-endian.
struct ScsiCdb {
  std::array<uint8_t, 16> rawBytes{};

  // "E0 00 00 08 00 ...": every byte as two upper-case hex digits, separated by spaces.
  QString text() const;

  static ScsiCdb readRecorderItem(RecorderItem item, uint16_t length);
  static ScsiCdb recorderModeChange(RecorderMode mode);
  static ScsiCdb updateFirmwareStart(uint32_t address, uint32_t length, uint8_t processor);
  static ScsiCdb updateFirmwareAreYouReady(uint8_t processor);
  static ScsiCdb updateFirmwareUploadFirmware(uint32_t length, uint8_t processor);
  static ScsiCdb updateFirmwareFinish(uint8_t processor);
  static ScsiCdb updateFirmwareVerifyStart(uint32_t address, uint32_t length, uint8_t processor);
  static ScsiCdb updateFirmwareVerify(uint32_t length, uint8_t processor);
  static ScsiCdb updateFirmwareVerifyFinish(uint8_t processor);

  bool operator==(const ScsiCdb&) const = default;
};

// What ReadRecorderItem sends and expects for each item.
struct RecorderItemInfo {
  RecorderCommandLayout::Item item;  // its code and allocation length
  uint32_t bufferLength;  // the answer buffer, also the data length passed to the transport
  const char* logText;    // logged before sending
};
RecorderItemInfo recorderItemInfo(RecorderItem item);

// The processor byte of the UpdateFirmware commands.
uint8_t processorByte(UpdateFirmwareTargetProcessor processor);
