#pragma once

#include "app/device/AudioDeviceDetectorReal.h"
#include "tests/support/RecordedLog.h"

#include <future>
#include <optional>
#include <thread>

// Runs one detection and returns what the completion got, once the detector is idle again
// (the completion runs just before it is).
inline std::optional<AudioDeviceError> detectOnce(AudioDeviceDetectorReal& detector) {
  std::promise<std::optional<AudioDeviceError>> finished;
  detector.setCompletion(
      [&finished](std::optional<AudioDeviceError> error) { finished.set_value(error); });
  detector.detect();
  const std::optional<AudioDeviceError> error = finished.get_future().get();
  detector.setCompletion(nullptr);
  while (detector.running()) {
    std::this_thread::yield();
  }
  return error;
}
