#pragma once

#include "platform/registry/Registry.h"

#include <cstdint>
#include <string>

// A registry whose tree is built in memory: for tests and the virtual recorder. Entries
// can appear and disappear at any time, also while connections on them are open (calls on
// those then fail with kIOReturnInvalidConnection).
class InMemoryRegistry final : public Registry {
 public:
  InMemoryRegistry() = default;

  // Adds an entry below `parent` (the root when null); the registry name defaults to the
  // class name.
  RegistryEntryRef addEntry(const RegistryEntryRef& parent, const std::string& className,
                            RegistryProperties properties = {}, const std::string& location = {},
                            const std::string& registryName = {});
  void removeEntry(const RegistryEntryRef& entry);
  // Lets the pass-through driver probe the SCSI device `nub`; when it takes it, the driver
  // entry appears below `nub` with `target` answering its tasks. Null when it declines.
  RegistryEntryRef attachDriver(const RegistryEntryRef& nub, std::shared_ptr<ScsiTarget> target);
  // Moves `entry` (a disk, say) below `newParent`.
  void reparent(const RegistryEntryRef& entry, const RegistryEntryRef& newParent);

  // A USB recorder as the udev backend shows it: device, interface, mass-storage driver,
  // SCSI device, the driver entry when the driver takes it, and a disk with `partitions`.
  struct Recorder {
    RegistryEntryRef usbDevice;
    RegistryEntryRef interface;
    RegistryEntryRef massStorage;
    RegistryEntryRef logicalUnit;
    RegistryEntryRef driver;  // null when the driver declined the recorder
    RegistryEntryRef disk;
  };
  Recorder addRecorder(uint16_t vendorID, uint16_t productID, std::shared_ptr<ScsiTarget> target,
                       const std::string& location = "1-1", int partitions = 1,
                       const std::string& diskName = "sdb");
};
