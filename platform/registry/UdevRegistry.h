#pragma once

#include "platform/registry/Registry.h"

#include <map>
#include <string>

struct udev;
struct udev_device;

// The registry of this machine, read from sysfs through libudev. Each match rescans:
// entries that are still there keep their identity (and their open connections), entries
// that have gone are taken out. A SCSI device that the driver's udev rule has marked and
// whose probe the driver accepts gets the driver entry; opening a connection on it opens
// the recorder's /dev/sg node read-write.
class UdevRegistry final : public Registry {
 public:
  UdevRegistry();
  UdevRegistry(const UdevRegistry&) = delete;
  UdevRegistry& operator=(const UdevRegistry&) = delete;
  ~UdevRegistry() override;

 protected:
  void refresh() override;
  bool isPresent(const RegistryEntry& entry) override;
  IOReturn attachTarget(RegistryEntry& driverEntry) override;

 private:
  void scanUsbDevice(udev_device* usbDevice, std::map<std::string, RegistryEntryRef>& seen);
  RegistryEntryRef reuseOrCreate(const std::string& key, const std::string& className,
                                 const std::string& location, RegistryProperties properties,
                                 std::map<std::string, RegistryEntryRef>& seen);

  udev* udev_;
  std::map<std::string, RegistryEntryRef> known_;  // by sysfs path and class name
};
