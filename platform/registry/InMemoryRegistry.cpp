#include "platform/registry/InMemoryRegistry.h"

#include <mutex>
#include <utility>

RegistryEntryRef InMemoryRegistry::addEntry(const RegistryEntryRef& parent,
                                            const std::string& className,
                                            RegistryProperties properties,
                                            const std::string& location,
                                            const std::string& registryName) {
  auto entry = std::make_shared<RegistryEntry>(
      className, registryName.empty() ? className : registryName, location, std::move(properties));
  const std::scoped_lock guard(lock());
  insert(parent != nullptr ? parent : root(), entry);
  return entry;
}

void InMemoryRegistry::removeEntry(const RegistryEntryRef& entry) {
  if (entry == nullptr) {
    return;
  }
  const std::scoped_lock guard(lock());
  remove(entry);
}

RegistryEntryRef InMemoryRegistry::attachDriver(const RegistryEntryRef& nub,
                                                std::shared_ptr<ScsiTarget> target) {
  const std::scoped_lock guard(lock());
  return claim(nub, std::move(target));
}

void InMemoryRegistry::reparent(const RegistryEntryRef& entry, const RegistryEntryRef& newParent) {
  const std::scoped_lock guard(lock());
  if (const RegistryEntryRef parent = entry->parent()) {
    parent->removeChild(entry.get());
  }
  insert(newParent, entry);
}

InMemoryRegistry::Recorder InMemoryRegistry::addRecorder(uint16_t vendorID, uint16_t productID,
                                                         std::shared_ptr<ScsiTarget> target,
                                                         const std::string& location,
                                                         int partitions,
                                                         const std::string& diskName) {
  Recorder recorder;
  const RegistryProperties ids{{"idVendor", int64_t{vendorID}}, {"idProduct", int64_t{productID}}};
  recorder.usbDevice = addEntry(nullptr, "IOUSBHostDevice", ids, location);
  RegistryProperties interfaceProperties = ids;
  interfaceProperties["bInterfaceClass"] = int64_t{8};
  recorder.interface =
      addEntry(recorder.usbDevice, "IOUSBHostInterface", interfaceProperties, location + ":1.0");
  recorder.massStorage = addEntry(recorder.interface, "IOUSBMassStorageDriver", {}, "host0");
  recorder.logicalUnit = addEntry(recorder.massStorage, "IOSCSILogicalUnitNub", {}, "0:0:0:0");
  recorder.driver = attachDriver(recorder.logicalUnit, std::move(target));
  const RegistryEntryRef diskParent =
      recorder.driver != nullptr ? recorder.driver : recorder.logicalUnit;
  recorder.disk =
      addEntry(diskParent, "IOMedia", {{"Whole", true}, {"BSD Name", diskName}}, diskName);
  for (int number = 1; number <= partitions; ++number) {
    const std::string name = diskName + std::to_string(number);
    addEntry(recorder.disk, "IOMedia", {{"Whole", false}, {"BSD Name", name}}, name);
  }
  return recorder;
}
