#pragma once

#include "app/core/Logger.h"
#include "app/device/AudioDeviceDetectorReal.h"

#include <QStringList>

#include <future>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

// Records the log lines written while it is installed, with logging switched on.
class RecordedLog final {
 public:
  RecordedLog() : sink_(std::make_shared<Sink>()) {
    Logger::shared().setSink(sink_);
    Logger::shared().setLoggerEnabled(true);
  }
  RecordedLog(const RecordedLog&) = delete;
  RecordedLog& operator=(const RecordedLog&) = delete;
  ~RecordedLog() {
    Logger::shared().setLoggerEnabled(false);
    Logger::shared().setSink(nullptr);
  }

  QStringList lines() const {
    const std::scoped_lock guard(sink_->mutex);
    return sink_->lines;
  }

 private:
  struct Sink final : LogSink {
    void write(const QString& /*category*/, const QString& message) override {
      const std::scoped_lock guard(mutex);
      lines.append(message);
    }
    std::mutex mutex;
    QStringList lines;
  };
  std::shared_ptr<Sink> sink_;
};

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
