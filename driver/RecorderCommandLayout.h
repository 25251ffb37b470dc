#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

// The recorder's vendor command blocks and the maker's USB vendor IDs, declared once: the
// command builder, the answer decoders, the virtual recorder and the driver all read them
// from here. Numbers inside a command block are big-endian.
namespace RecorderCommandLayout {

inline constexpr size_t kBlockLength = 16;

// Operation codes (byte 0).
inline constexpr uint8_t kReadRecorderItem = 0xE0;
inline constexpr uint8_t kRecorderModeChange = 0xE2;
inline constexpr uint8_t kUpdateFirmware = 0xE4;

// ReadRecorderItem: the item code in byte 1, the allocation length in bytes 2-3; the rest
// is zero.
inline constexpr size_t kItemCodeAt = 1;
inline constexpr size_t kAllocationLengthAt = 2;

// One readable item: its code and the allocation length the application asks for.
struct Item {
  uint8_t code;
  uint16_t allocationLength;
};
inline constexpr Item kModelName{0x00, 8};
inline constexpr Item kDeviceStatus{0x01, 8};
inline constexpr Item kFirmwareVersion{0x02, 0x0012};
inline constexpr Item kSerialID{0x06, 0x0100};
inline constexpr Item kDeviceID{0x0B, 4};
inline constexpr Item kProductInformation{0x17, 0x018A};

// The answer buffer of every item read but the device status.
inline constexpr uint32_t kAnswerBufferLength = 65536;
// The device status answer: byte 6 is 3 while the recorder needs a mode change.
inline constexpr size_t kModeByteAt = 6;
inline constexpr uint8_t kNeedsModeChange = 3;
// The firmware version answer: main label, codec file (little-endian), sub label.
inline constexpr size_t kLabelLength = 8;
inline constexpr size_t kCodecAt = 8;
inline constexpr size_t kSubLabelAt = 10;
// The product information answer: a little-endian count, then length-prefixed UTF-16 texts.
inline constexpr size_t kCountLength = 4;

// RecorderModeChange: the mode in byte 1; the rest is zero.
inline constexpr size_t kModeAt = 1;
inline constexpr std::array<uint8_t, 6> kModes{0x00, 0x01, 0x02, 0x04, 0x08, 0x10};
inline constexpr uint8_t kUpdateMode = 0x02;

// UpdateFirmware: the step in byte 1, two 32-bit numbers in bytes 2-5 and 6-9, the
// processor in byte 11; bytes 10 and 12-15 are zero.
enum class UpdateStep : uint8_t {
  start = 0x00,
  areYouReady = 0x01,
  uploadFirmware = 0x02,
  finish = 0x03,
  verifyStart = 0x04,
  verify = 0x05,
  verifyFinish = 0x06,
};
inline constexpr uint8_t kLastUpdateStep = 0x06;
inline constexpr size_t kStepAt = 1;
inline constexpr size_t kFirstNumberAt = 2;
inline constexpr size_t kSecondNumberAt = 6;
inline constexpr size_t kProcessorAt = 11;
// The largest piece of firmware one upload or verify command carries.
inline constexpr uint32_t kLargestPiece = 65536;

// The maker's two USB vendor IDs; only their devices are recorders.
inline constexpr std::array<uint16_t, 2> kMakerVendorIDs{0xF7A1, 0xF7A2};

constexpr bool isMakerVendorID(int64_t vendorID) {
  for (const uint16_t id : kMakerVendorIDs) {
    if (vendorID == id) {
      return true;
    }
  }
  return false;
}

}  // namespace RecorderCommandLayout
