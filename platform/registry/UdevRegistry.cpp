#include "platform/registry/UdevRegistry.h"

#include "driver/DriverIdentity.h"
#include "driver/SgPtTarget.h"

#include <libudev.h>
#include <sys/stat.h>

#include <cstdlib>
#include <memory>
#include <optional>
#include <string_view>

namespace {

struct EnumerateDeleter {
  void operator()(udev_enumerate* enumerate) const { udev_enumerate_unref(enumerate); }
};
struct DeviceDeleter {
  void operator()(udev_device* device) const { udev_device_unref(device); }
};
using Enumerate = std::unique_ptr<udev_enumerate, EnumerateDeleter>;
using Device = std::unique_ptr<udev_device, DeviceDeleter>;

std::string_view text(const char* value) { return value != nullptr ? value : std::string_view(); }

// sysfs writes USB numbers as hexadecimal text without a prefix.
std::optional<int64_t> hexAttribute(udev_device* device, const char* name) {
  const char* value = udev_device_get_sysattr_value(device, name);
  if (value == nullptr || *value == '\0') {
    return std::nullopt;
  }
  char* end = nullptr;
  const long long number = std::strtoll(value, &end, 16);
  while (end != nullptr && (*end == '\n' || *end == ' ')) {
    ++end;
  }
  if (end == nullptr || *end != '\0' || number < 0) {
    return std::nullopt;
  }
  return number;
}

// Entries are known again by their sysfs path and class.
std::string keyOf(const std::string& path, std::string_view className) {
  std::string key = path;
  key.append("|").append(className);
  return key;
}

bool isMassStorageBinding(udev_device* interface) {
  const std::string_view driver = text(udev_device_get_driver(interface));
  return driver == "usb-storage" || driver == "uas";
}

}  // namespace

UdevRegistry::UdevRegistry() : udev_(udev_new()) {}

UdevRegistry::~UdevRegistry() {
  if (udev_ != nullptr) {
    udev_unref(udev_);
  }
}

RegistryEntryRef UdevRegistry::reuseOrCreate(const std::string& key, const std::string& className,
                                             const std::string& location,
                                             RegistryProperties properties,
                                             std::map<std::string, RegistryEntryRef>& seen) {
  RegistryEntryRef entry;
  if (const auto known = known_.find(key);
      known != known_.end() && known->second->properties() == properties) {
    entry = known->second;
    entry->clearChildren();
  } else {
    entry = std::make_shared<RegistryEntry>(className, className, location, std::move(properties));
  }
  seen[key] = entry;
  return entry;
}

void UdevRegistry::refresh() {
  if (udev_ == nullptr) {
    return;
  }
  std::map<std::string, RegistryEntryRef> seen;
  root()->clearChildren();
  const Enumerate enumerate(udev_enumerate_new(udev_));
  udev_enumerate_add_match_subsystem(enumerate.get(), "usb");
  udev_enumerate_add_match_property(enumerate.get(), "DEVTYPE", "usb_device");
  udev_enumerate_scan_devices(enumerate.get());
  udev_list_entry* item = nullptr;
  udev_list_entry_foreach(item, udev_enumerate_get_list_entry(enumerate.get())) {
    const Device device(udev_device_new_from_syspath(udev_, udev_list_entry_get_name(item)));
    if (device != nullptr) {
      scanUsbDevice(device.get(), seen);
    }
  }
  // Whatever was not seen again has gone: its drivers end and its connections fail.
  for (const auto& [key, entry] : known_) {
    if (!seen.contains(key) && !entry->isInactive()) {
      remove(entry);
    }
  }
  known_ = std::move(seen);
}

void UdevRegistry::scanUsbDevice(udev_device* usbDevice,
                                 std::map<std::string, RegistryEntryRef>& seen) {
  const std::optional<int64_t> vendor = hexAttribute(usbDevice, "idVendor");
  const std::optional<int64_t> product = hexAttribute(usbDevice, "idProduct");
  RegistryProperties ids;
  if (vendor && product) {
    ids = {{"idVendor", *vendor}, {"idProduct", *product}};
  }
  const std::string usbPath = std::string(text(udev_device_get_syspath(usbDevice)));
  const RegistryEntryRef usbEntry =
      reuseOrCreate(keyOf(usbPath, "IOUSBHostDevice"), "IOUSBHostDevice",
                    std::string(text(udev_device_get_sysname(usbDevice))), ids, seen);
  usbEntry->setSystemPath(usbPath);
  insert(root(), usbEntry);

  // sysfs path -> the entry that the device's children hang below.
  std::map<std::string, RegistryEntryRef> parents{{usbPath, usbEntry}};
  const auto parentEntryOf = [&parents](udev_device* device) -> RegistryEntryRef {
    for (udev_device* up = udev_device_get_parent(device); up != nullptr;
         up = udev_device_get_parent(up)) {
      if (const auto found = parents.find(std::string(text(udev_device_get_syspath(up))));
          found != parents.end()) {
        return found->second;
      }
    }
    return nullptr;
  };

  const Enumerate below(udev_enumerate_new(udev_));
  udev_enumerate_add_match_parent(below.get(), usbDevice);
  udev_enumerate_scan_devices(below.get());
  udev_list_entry* item = nullptr;
  udev_list_entry_foreach(item, udev_enumerate_get_list_entry(below.get())) {
    const Device device(udev_device_new_from_syspath(udev_, udev_list_entry_get_name(item)));
    if (device == nullptr) {
      continue;
    }
    const std::string path(text(udev_device_get_syspath(device.get())));
    // Devices of a hub's downstream USB devices belong to those devices' own entries.
    udev_device* owner =
        udev_device_get_parent_with_subsystem_devtype(device.get(), "usb", "usb_device");
    if (path == usbPath || owner == nullptr ||
        text(udev_device_get_syspath(owner)) != std::string_view(usbPath)) {
      continue;
    }
    const std::string_view subsystem = text(udev_device_get_subsystem(device.get()));
    const std::string_view type = text(udev_device_get_devtype(device.get()));
    const std::string name(text(udev_device_get_sysname(device.get())));
    const RegistryEntryRef parent = parentEntryOf(device.get());
    if (parent == nullptr) {
      continue;
    }

    std::string className;
    RegistryProperties properties;
    if (subsystem == "usb" && type == "usb_interface") {
      className = "IOUSBHostInterface";
      properties = ids;
      if (const auto interfaceClass = hexAttribute(device.get(), "bInterfaceClass")) {
        properties["bInterfaceClass"] = *interfaceClass;
      }
    } else if (subsystem == "scsi" && type == "scsi_host") {
      udev_device* interface =
          udev_device_get_parent_with_subsystem_devtype(device.get(), "usb", "usb_interface");
      if (interface == nullptr || !isMassStorageBinding(interface)) {
        continue;
      }
      className = "IOUSBMassStorageDriver";
    } else if (subsystem == "scsi" && type == "scsi_device") {
      className = "IOSCSILogicalUnitNub";
    } else if (subsystem == "block" && (type == "disk" || type == "partition")) {
      className = "IOMedia";
      properties = {{"Whole", type == "disk"}, {"BSD Name", name}};
    } else if (subsystem == "scsi_generic") {
      // The sg node belongs to the driver entry of its SCSI device, if there is one.
      if (const char* node = udev_device_get_devnode(device.get());
          node != nullptr && parent->className() == DriverIdentity::kDeviceClassName) {
        parent->setDeviceNode(node);
      }
      continue;
    } else {
      continue;  // targets, endpoints, class devices: not in the service plane
    }

    const RegistryEntryRef entry =
        reuseOrCreate(keyOf(path, className), className, name, std::move(properties), seen);
    entry->setSystemPath(path);
    insert(parent, entry);
    parents[path] = entry;

    if (className != "IOSCSILogicalUnitNub" ||
        text(udev_device_get_property_value(device.get(), DriverIdentity::kClaimProperty.data())) !=
            DriverIdentity::kDeviceClassName) {
      continue;
    }
    const std::string driverKey = keyOf(path, DriverIdentity::kDeviceClassName);
    RegistryEntryRef driverEntry;
    if (const auto known = known_.find(driverKey);
        known != known_.end() && !known->second->isInactive()) {
      driverEntry = known->second;
      driverEntry->clearChildren();
      insert(entry, driverEntry);
    } else {
      driverEntry = claim(entry, nullptr);
    }
    if (driverEntry != nullptr) {
      driverEntry->setSystemPath(path);
      seen[driverKey] = driverEntry;
      parents[path] = driverEntry;  // the disk hangs below the driver that claimed it
    }
  }
}

bool UdevRegistry::isPresent(const RegistryEntry& entry) {
  struct stat status {};
  return entry.systemPath().empty() || stat(entry.systemPath().c_str(), &status) == 0;
}

IOReturn UdevRegistry::attachTarget(RegistryEntry& driverEntry) {
  if (driverEntry.deviceNode().empty() || driverEntry.driver() == nullptr) {
    return kIOReturnNoDevice;
  }
  std::unique_ptr<SgPtTarget> target;
  if (const IOReturn opened = SgPtTarget::open(driverEntry.deviceNode(), &target);
      opened != kIOReturnSuccess) {
    return opened;
  }
  driverEntry.driver()->attachTarget(std::move(target));
  return kIOReturnSuccess;
}
