#pragma once

#include "app/device/AudioDevice.h"
#include "app/device/ScsiCdb.h"

#include <cstdint>
#include <span>

class AudioDeviceInterfaceReal;

// The UpdateFirmware command family for one recorder and one processor: each command is
// logged with its parameters before it is sent, and answers are decoded here.
class UpdateFirmwareCommands final {
 public:
  struct BlockCountAnswer {
    uint32_t status = 0;
    uint16_t blockCount = 0;  // 0 when the command failed
  };

  UpdateFirmwareCommands(AudioDeviceInterfaceReal& interface, const AudioDevice& device);

  uint8_t processor() const { return processor_; }

  BlockCountAnswer start(uint32_t address, uint32_t length);
  BlockCountAnswer areYouReady();
  // Sends one piece of the image; the piece is the command's data-out buffer.
  uint32_t upload(std::span<uint8_t> piece);
  uint32_t finish();
  uint32_t verifyStart(uint32_t address, uint32_t length);
  // Reads `length` bytes back into `buffer`, which holds at least that many.
  uint32_t verify(std::span<uint8_t> buffer, uint32_t length);
  uint32_t verifyFinish();

 private:
  BlockCountAnswer sendForBlockCount(const ScsiCdb& command);

  AudioDeviceInterfaceReal& interface_;
  const AudioDevice& device_;
  uint8_t processor_;
};
