#pragma once

#include "app/device/AudioDevice.h"
#include "app/device/AudioDeviceError.h"

#include <functional>
#include <optional>
#include <vector>

// Finds the attached recorders. A scan runs in the background and ends with one call of
// the completion: no error and the arrays filled, or an error and the arrays as they were.
class AudioDeviceDetector {
 public:
  using Completion = std::function<void(std::optional<AudioDeviceError>)>;

  AudioDeviceDetector() = default;
  AudioDeviceDetector(const AudioDeviceDetector&) = delete;
  AudioDeviceDetector& operator=(const AudioDeviceDetector&) = delete;
  virtual ~AudioDeviceDetector() = default;

  // A scan is queued or in progress.
  virtual bool running() const = 0;
  virtual void setRunning(bool running) = 0;

  // Called once at the end of every scan; empty for none.
  virtual Completion completion() const = 0;
  virtual void setCompletion(Completion completion) = 0;

  // Every recorder found by the last successful scan.
  virtual std::vector<AudioDevicePtr> devices() const = 0;
  // The recorders among devices() whose model is in the model table.
  virtual std::vector<AudioDevicePtr> supportedDevices() const = 0;

  // Starts a scan; ignored while one is pending.
  virtual void detect() = 0;
};
