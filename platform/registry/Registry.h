#pragma once

#include "driver/ClientTask.h"
#include "driver/IOReturn.h"
#include "driver/ScsiTarget.h"
#include "platform/registry/RegistryEntry.h"

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <span>
#include <string_view>
#include <vector>

// A call on a connection that was closed, never opened, or whose device has gone.
inline constexpr IOReturn kIOReturnInvalidConnection = 0x10000003;

// The device registry: a tree of entries in the service plane, matching by class name,
// and user-client connections on driver entries, named by 32-bit handles. Backends fill
// the tree: UdevRegistry from sysfs, InMemoryRegistry from tests and the virtual recorder.
class Registry {
 public:
  Registry();
  Registry(const Registry&) = delete;
  Registry& operator=(const Registry&) = delete;
  virtual ~Registry();

  // The process's registry: the system's (udev) unless another one was installed, as the
  // virtual recorder and tests do. setShared(nullptr) brings the system's back.
  static std::shared_ptr<Registry> shared();
  static void setShared(std::shared_ptr<Registry> registry);

  RegistryEntryRef root() const { return root_; }

  // Every active entry of this class, in pre-order; the tree is brought up to date first.
  std::vector<RegistryEntryRef> matchingServices(std::string_view className);
  std::vector<RegistryEntryRef> children(const RegistryEntryRef& entry) const;
  // Depth-first search below `entry`, an entry before its descendants.
  std::vector<RegistryEntryRef> findChildren(
      const RegistryEntryRef& entry,
      const std::function<bool(const RegistryEntry&)>& predicate) const;

  // Opens a user client of `type` on a driver entry for `task` (this process by default).
  IOReturn openUserClient(const RegistryEntryRef& entry, uint32_t type, uint32_t* connection,
                          const std::shared_ptr<ClientTask>& task = ClientTask::current(),
                          RegistryProperties* properties = nullptr);
  IOReturn closeUserClient(uint32_t connection);
  // The client process behind `connection` ended without closing it.
  IOReturn clientDied(uint32_t connection);
  // Hands `input` to the user client's method `selector`; `lent` is the memory the
  // request record may name. *outputSize: the output area's size in, bytes written out.
  IOReturn callStructMethod(uint32_t connection, uint32_t selector, std::span<const uint8_t> input,
                            uint8_t* output, size_t* outputSize,
                            std::span<const ClientBuffer> lent = {});

 protected:
  // Called under the lock: bring the tree up to date (a backend that scans does so here).
  virtual void refresh() {}
  // Called under the lock before each call: whether the entry's device is still there.
  virtual bool isPresent(const RegistryEntry& /*entry*/) { return true; }
  // Called under the lock when a connection is opened on a driver entry without a target.
  virtual IOReturn attachTarget(RegistryEntry& /*driverEntry*/) { return kIOReturnSuccess; }

  // Tree changes for backends; the caller holds the lock.
  std::mutex& lock() const { return mutex_; }
  void insert(const RegistryEntryRef& parent, const RegistryEntryRef& child);
  // Takes the entry and its subtree out: drivers are terminated and their targets let go.
  void remove(const RegistryEntryRef& entry);
  // Lets the pass-through driver probe the SCSI device `nub`; when it takes it, its entry
  // appears below `nub`. Null when the probe declines.
  RegistryEntryRef claim(const RegistryEntryRef& nub, std::shared_ptr<ScsiTarget> target);

 private:
  struct Connection {
    std::weak_ptr<RegistryEntry> entry;
    std::shared_ptr<UserClient> client;
    std::shared_ptr<ClientTask> task;  // the calling process, which lends the buffers
  };

  IOReturn endConnection(uint32_t connection, bool died);
  void releaseTargetIfUnused(const RegistryEntryRef& entry);

  mutable std::mutex mutex_;
  RegistryEntryRef root_;
  std::map<uint32_t, Connection> connections_;
  uint32_t nextConnection_ = 0x1003;
};
