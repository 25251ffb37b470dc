#pragma once

#include "app/device/AudioDevice.h"
#include "app/device/AudioDeviceError.h"
#include "app/device/AudioProductInformation.h"

#include <QByteArray>
#include <QString>

#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

class SerialQueue;

// How the application talks to one recorder. Statuses are the transport's (0 = success);
// "out" values start as none and are written as each operation says. Every operation runs
// on the controller's device queue.
class AudioDeviceInterface {
 public:
  using Progress = std::function<void(int64_t done, int64_t total)>;
  using Completion = std::function<void(std::optional<AudioDeviceError>)>;

  AudioDeviceInterface() = default;
  AudioDeviceInterface(const AudioDeviceInterface&) = delete;
  AudioDeviceInterface& operator=(const AudioDeviceInterface&) = delete;
  virtual ~AudioDeviceInterface() = default;

  virtual uint32_t readModelName(const AudioDevice& device, std::optional<QString>& name) = 0;
  virtual uint32_t readFirmwareVersion(const AudioDevice& device,
                                       std::optional<RecorderFirmwareVersion>& version) = 0;
  virtual uint32_t readSerialID(const AudioDevice& device, std::optional<QString>& serial) = 0;
  virtual uint32_t readDeviceID(const AudioDevice& device, std::optional<uint32_t>& deviceID) = 0;
  virtual uint32_t readProductInformation(
      const AudioDevice& device, std::optional<std::vector<AudioProductInformation>>& list) = 0;
  virtual std::optional<AudioDeviceError> updateFirmware(AudioDevice& device,
                                                         const QByteArray& firmware,
                                                         const QString& fileName,
                                                         const Progress& progress) = 0;
  virtual std::optional<AudioDeviceError> finishUpdate(AudioDevice& device,
                                                       const QByteArray& firmware) = 0;
  virtual bool requiresModeChange(const AudioDevice& device) = 0;

  // Asks updateFirmware and finishUpdate to stop after the recorder command in flight: they
  // then remove what they wrote and return `interrupted`. From any thread; there is no way
  // back for this object's updates.
  void requestInterruption() { interruptionRequested_ = true; }
  bool isInterruptionRequested() const { return interruptionRequested_; }
  // The completion is always posted to `queue`, never called on the caller's stack.
  virtual void switchRecorderMode(AudioDevice& device, SerialQueue& queue,
                                  Completion completion) = 0;

 private:
  std::atomic<bool> interruptionRequested_{false};
};
