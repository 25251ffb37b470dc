#pragma once

#include "app/device/AudioDeviceInterfaceReal.h"
#include "tests/sim/VirtualRecorderFixture.h"
#include "tests/support/RecordedLog.h"

#include <memory>

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
// (with the logger recording into `log`), and its record in `device`.
class AttachedRecorderFixture : public VirtualRecorderFixture {
 protected:
  void TearDown() override {
    device.reset();
    deviceInterface.reset();
    rack.reset();
  }

  void attachRecorder(const QVariantMap& config, AudioDeviceInterfaceReal::Waits waits = {}) {
    attach(config);
    deviceInterface = std::make_unique<AudioDeviceInterfaceReal>(nullptr, nullptr, waits);
    device = deviceOn(Registry::shared());
    ASSERT_NE(device, nullptr);
  }

  RecordedLog log;
  std::unique_ptr<AudioDeviceInterfaceReal> deviceInterface;
  AudioDevicePtr device;
};
