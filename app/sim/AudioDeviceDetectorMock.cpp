#include "app/sim/AudioDeviceDetectorMock.h"

#include <QTimer>

#include <algorithm>
#include <cmath>

AudioDeviceDetectorMock::AudioDeviceDetectorMock(std::vector<AudioDevicePtr> mockDevices,
                                                 double mockDeviceInterval)
    : mockDevices_(std::move(mockDevices)), mockDeviceInterval_(mockDeviceInterval) {}

AudioDeviceDetectorMock::~AudioDeviceDetectorMock() = default;

void AudioDeviceDetectorMock::detect() {
  if (running_) {
    return;
  }
  running_ = true;
  mockCurrentDeviceIndex_ = 0;
  devices_.clear();
  supportedDevices_.clear();
  mockDetectTimer_ = std::make_unique<QTimer>();
  const double milliseconds = std::max(mockDeviceInterval_, 0.0) * 1000.0;
  mockDetectTimer_->setInterval(static_cast<int>(std::lround(std::min(milliseconds, 3.6e6))));
  QTimer* timer = mockDetectTimer_.get();
  QObject::connect(timer, &QTimer::timeout, timer, [this] { tick(); });
  mockDetectTimer_->start();
}

void AudioDeviceDetectorMock::tick() {
  if (mockCurrentDeviceIndex_ < static_cast<int64_t>(mockDevices_.size())) {
    const AudioDevice& record = *mockDevices_[static_cast<size_t>(mockCurrentDeviceIndex_)];
    ++mockCurrentDeviceIndex_;
    if (isMakerVendorID(record.usbVendorID) && record.usbPID >= kFirstRecorderProductID &&
        record.usbPID <= kLastRecorderProductID) {
      // Each scan hands out fresh records, as a real scan reads the recorder afresh; the
      // device-status step writes into the record it gets.
      auto device = std::make_shared<AudioDevice>(record);
      devices_.push_back(device);
      static const AudioDeviceTable table;
      if (!table.modelIDItems(device->usbPID).isEmpty()) {
        supportedDevices_.push_back(device);
      }
    }
    return;
  }
  running_ = false;
  dropTimer();
  // The completion may start the next scan or replace itself.
  if (const Completion completion = completion_) {
    completion(std::nullopt);
  }
}

void AudioDeviceDetectorMock::dropTimer() {
  if (mockDetectTimer_) {
    mockDetectTimer_->stop();
    // Called from the timer's own signal: it goes once that has returned.
    mockDetectTimer_.release()->deleteLater();
  }
}
