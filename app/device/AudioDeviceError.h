#pragma once

#include <cstdint>
#include <variant>

// The error of recorder access, shared by detection, the command set and the transfer.
struct AudioDeviceError {
  enum class Kind {
    deviceError,    // a failing command or step, with its code
    diskFullError,  // the recorder's volume has too little free space for a file-copy update
    skelError,      // the driver is installed but the recorder's driver cannot be opened
    driverMissing,  // a recorder is connected but the driver (the device rule) is not installed
    interrupted,    // the update stopped as asked (requestInterruption)
  };

  Kind kind = Kind::deviceError;
  int32_t code = 0;  // deviceError; driverMissing reads as the failed step it always was

  static AudioDeviceError deviceError(int32_t code) { return {Kind::deviceError, code}; }
  static AudioDeviceError diskFullError() { return {Kind::diskFullError, 0}; }
  static AudioDeviceError skelError() { return {Kind::skelError, 0}; }
  static AudioDeviceError driverMissing();
  static AudioDeviceError interrupted() { return {Kind::interrupted, 0}; }

  bool operator==(const AudioDeviceError&) const = default;
};

// Codes of deviceError beyond the transport's statuses.
namespace AudioDeviceErrorCode {
inline constexpr int32_t kNoTransferAddress = 1;
inline constexpr int32_t kNoConnection = 4;
inline constexpr int32_t kStepFailed = 14;
inline constexpr int32_t kVerifyMismatch = 18;
}  // namespace AudioDeviceErrorCode

inline AudioDeviceError AudioDeviceError::driverMissing() {
  return {Kind::driverMissing, AudioDeviceErrorCode::kStepFailed};
}
