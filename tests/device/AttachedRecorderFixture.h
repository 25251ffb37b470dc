#pragma once

#include "app/core/Logger.h"
#include "app/device/AudioDeviceInterfaceReal.h"
#include "tests/sim/VirtualRecorderFixture.h"

#include <QStringList>

#include <memory>
#include <mutex>

// Log lines as the logger hands them over, from whichever thread writes them.
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

// A virtual recorder attached as detection would find it, the real device interface on it
// (with the logger recording into `sink`), and its record in `device`.
class AttachedRecorderFixture : public VirtualRecorderFixture {
 protected:
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

  void attachRecorder(const QVariantMap& config, AudioDeviceInterfaceReal::Waits waits = {}) {
    attach(config);
    deviceInterface = std::make_unique<AudioDeviceInterfaceReal>(nullptr, nullptr, waits);
    device = deviceOn(Registry::shared());
    ASSERT_NE(device, nullptr);
  }

  std::shared_ptr<RecordingSink> sink = std::make_shared<RecordingSink>();
  std::unique_ptr<AudioDeviceInterfaceReal> deviceInterface;
  AudioDevicePtr device;
};
