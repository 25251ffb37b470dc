#pragma once

#include "app/device/AudioDeviceDetector.h"

#include <cstdint>
#include <memory>
#include <vector>

class QTimer;

// Plays back configured recorders instead of scanning the registry: a scan takes one
// recorder per tick of a repeating timer on the event loop of the thread that called
// detect(), and ends one tick after the last, so n recorders complete after n + 1 ticks.
// Recorders outside the maker's range are played back but not listed. Never reports an
// error. Used from one thread only.
class AudioDeviceDetectorMock final : public AudioDeviceDetector {
 public:
  // The product IDs the maker's recorders enumerate with, as the real scan accepts them.
  static constexpr int64_t kFirstRecorderProductID = 0x0200;
  static constexpr int64_t kLastRecorderProductID = 0x02FF;

  // `mockDeviceInterval`: seconds between two ticks.
  AudioDeviceDetectorMock(std::vector<AudioDevicePtr> mockDevices, double mockDeviceInterval);
  ~AudioDeviceDetectorMock() override;
  AudioDeviceDetectorMock(const AudioDeviceDetectorMock&) = delete;
  AudioDeviceDetectorMock& operator=(const AudioDeviceDetectorMock&) = delete;

  bool running() const override { return running_; }
  void setRunning(bool running) override { running_ = running; }
  Completion completion() const override { return completion_; }
  void setCompletion(Completion completion) override { completion_ = std::move(completion); }
  std::vector<AudioDevicePtr> devices() const override { return devices_; }
  std::vector<AudioDevicePtr> supportedDevices() const override { return supportedDevices_; }
  void detect() override;

  const std::vector<AudioDevicePtr>& mockDevices() const { return mockDevices_; }
  double mockDeviceInterval() const { return mockDeviceInterval_; }

 private:
  void tick();
  void dropTimer();

  bool running_ = false;
  Completion completion_;
  std::vector<AudioDevicePtr> devices_;
  std::vector<AudioDevicePtr> supportedDevices_;
  const std::vector<AudioDevicePtr> mockDevices_;
  const double mockDeviceInterval_;
  std::unique_ptr<QTimer> mockDetectTimer_;
  int64_t mockCurrentDeviceIndex_ = 0;
};
