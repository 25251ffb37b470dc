#pragma once

#include "app/core/Logger.h"
#include "app/device/AudioDeviceInterfaceReal.h"
#include "tests/sim/VirtualRecorderFixture.h"

#include <QStringList>

#include <mutex>
#include <utility>
#include <vector>

// A record as detection makes it: the USB device entry and the opened driver entry.
inline AudioDevicePtr deviceOn(const std::shared_ptr<Registry>& registry) {
  const auto usb = registry->matchingServices("IOUSBHostDevice");
  const auto drivers = registry->matchingServices(DriverIdentity::kDeviceClassName);
  if (usb.size() != 1 || drivers.size() != 1) {
    return nullptr;
  }
  auto made = std::make_shared<AudioDevice>(std::get<int64_t>(*usb.front()->property("idVendor")),
                                            std::get<int64_t>(*usb.front()->property("idProduct")));
  made->serviceEntry = std::make_shared<IOObject>(registry, usb.front());
  made->driverEntry = std::make_shared<IOObject>(registry, drivers.front());
  return made->driverEntry->open() ? made : nullptr;
}

// A virtual recorder attached as detection would find it, an interface without procedures
// of its own (the test calls them), and a record of log lines and progress reports.
class ProcedureFixture : public VirtualRecorderFixture {
 protected:
  class RecordingSink final : public LogSink {
   public:
    void write(const QString& /*category*/, const QString& message) override {
      const std::scoped_lock guard(mutex_);
      lines_ << message;
    }
    QStringList lines() const {
      const std::scoped_lock guard(mutex_);
      return lines_;
    }

   private:
    mutable std::mutex mutex_;
    QStringList lines_;
  };

  void SetUp() override {
    Logger::shared().setSink(sink);
    Logger::shared().setLoggerEnabled(true);
  }
  void TearDown() override {
    device.reset();
    deviceInterface.reset();
    rack.reset();
    Logger::shared().setLoggerEnabled(false);
    Logger::shared().setSink(nullptr);
  }

  void attachRecorder(const QVariantMap& config) {
    attach(config);
    deviceInterface = std::make_unique<AudioDeviceInterfaceReal>(nullptr, nullptr,
                                                                 AudioDeviceInterfaceReal::Waits{});
    device = deviceOn(Registry::shared());
    ASSERT_NE(device, nullptr);
  }

  // The command blocks the recorder received, each with its direction, length and result.
  QStringList commands() const { return transcript().split(QLatin1Char('\n'), Qt::SkipEmptyParts); }
  // The received commands whose block starts with `prefix` ("E4 02").
  QStringList commands(const QString& prefix) const {
    QStringList found;
    for (const QString& line : commands()) {
      if (line.startsWith(prefix)) {
        found << line;
      }
    }
    return found;
  }

  bool logged(const QString& line) const { return sink->lines().contains(line); }

  AudioDeviceInterface::Progress recordProgress() {
    return [this](int64_t done, int64_t total) { progress.emplace_back(done, total); };
  }

  QString folderPath(const QString& name) const { return QDir(folder.path()).filePath(name); }

  std::shared_ptr<RecordingSink> sink = std::make_shared<RecordingSink>();
  std::unique_ptr<AudioDeviceInterfaceReal> deviceInterface;
  AudioDevicePtr device;
  std::vector<std::pair<int64_t, int64_t>> progress;
};
