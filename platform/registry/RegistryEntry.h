#pragma once

#include "driver/KorvaneSCSIBlockDriver.h"
#include "driver/ServiceEntry.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// One entry of the device registry: class name, registry name, location, properties and
// ordered children in the service plane. A driver entry also carries its driver object.
// Entries are changed only by their Registry, under its lock.
class RegistryEntry final : public ServiceEntry {
 public:
  RegistryEntry(std::string className, std::string registryName, std::string location,
                RegistryProperties properties);

  uint64_t entryID() const { return entryID_; }
  const std::string& className() const { return className_; }
  std::string registryName() const override { return registryName_; }
  const std::string& location() const { return location_; }
  const RegistryProperties& properties() const { return properties_; }
  std::optional<RegistryValue> property(std::string_view key) const override;
  const ServiceEntry* parentEntry() const override;
  std::shared_ptr<RegistryEntry> parent() const { return parent_.lock(); }
  const std::vector<std::shared_ptr<RegistryEntry>>& children() const { return children_; }
  bool isInactive() const { return inactive_; }
  const std::shared_ptr<com_korvane_DSSBlockCommandsDevice>& driver() const { return driver_; }

  // For the registry and its backends.
  void setParent(const std::shared_ptr<RegistryEntry>& parent) { parent_ = parent; }
  void addChild(std::shared_ptr<RegistryEntry> child) { children_.push_back(std::move(child)); }
  void removeChild(const RegistryEntry* child);
  void clearChildren() { children_.clear(); }
  void markInactive() { inactive_ = true; }
  void setDriver(std::shared_ptr<com_korvane_DSSBlockCommandsDevice> driver) {
    driver_ = std::move(driver);
  }
  // Where the backend found the entry (a sysfs path) and the node that opens it.
  const std::string& systemPath() const { return systemPath_; }
  void setSystemPath(std::string path) { systemPath_ = std::move(path); }
  const std::string& deviceNode() const { return deviceNode_; }
  void setDeviceNode(std::string node) { deviceNode_ = std::move(node); }

 private:
  uint64_t entryID_;
  std::string className_;
  std::string registryName_;
  std::string location_;
  RegistryProperties properties_;
  std::weak_ptr<RegistryEntry> parent_;
  std::vector<std::shared_ptr<RegistryEntry>> children_;
  bool inactive_ = false;
  std::shared_ptr<com_korvane_DSSBlockCommandsDevice> driver_;
  std::string systemPath_;
  std::string deviceNode_;
};

using RegistryEntryRef = std::shared_ptr<RegistryEntry>;
