#pragma once

#include "app/core/Logger.h"

#include <QStringList>

#include <memory>
#include <mutex>

// Records the log lines written while it is installed, from whichever thread writes them,
// with logging switched on.
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
  bool contains(const QString& line) const { return lines().contains(line); }

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
