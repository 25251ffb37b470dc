#pragma once

#include <QString>

#include <atomic>
#include <memory>
#include <mutex>

// Where log lines go: the systemd journal in the application, a recorder in tests.
class LogSink {
 public:
  virtual ~LogSink() = default;
  virtual void write(const QString& category, const QString& message) = 0;
};

// The shared, switchable log channel: off until the settings file switches it on.
// Lines carry the bundle identifier as their identifier and the category "QXSYSTEM".
class Logger final {
 public:
  static constexpr auto kCategory = "QXSYSTEM";

  static Logger& shared();

  bool isLoggerEnabled() const { return enabled_.load(std::memory_order_relaxed); }
  void setLoggerEnabled(bool enabled) { enabled_.store(enabled, std::memory_order_relaxed); }

  // Writes the line when logging is enabled; callable from any thread.
  void log(const QString& message);

  // Replaces the sink (tests); none restores the journal.
  void setSink(std::shared_ptr<LogSink> sink);

 private:
  Logger();

  std::atomic<bool> enabled_{false};
  std::mutex mutex_;
  std::shared_ptr<LogSink> sink_;
};
