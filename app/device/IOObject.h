#pragma once

#include "platform/registry/Registry.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

// One registry entry that the application holds and, optionally, one user-client
// connection on it. The connection is closed when the object goes, so it lives exactly as
// long as the last device record that refers to it.
class IOObject final {
 public:
  IOObject(std::shared_ptr<Registry> registry, RegistryEntryRef object);
  IOObject(const IOObject&) = delete;
  IOObject& operator=(const IOObject&) = delete;
  ~IOObject();

  const RegistryEntryRef& object() const { return object_; }
  Registry& registry() const { return *registry_; }
  const std::shared_ptr<Registry>& sharedRegistry() const { return registry_; }
  // The user-client connection; 0 while none is open.
  uint32_t dataPort() const { return dataPort_; }

  // A copy of the entry's properties; none when the entry is gone.
  std::optional<RegistryProperties> properties() const;
  std::string className() const { return object_->className(); }
  std::string registryName() const { return object_->registryName(); }

  // Opens a user client of type 0 for this process; true when one is (or already was) open.
  bool open();
  // Closes the connection, if one is open.
  void close();

 private:
  std::shared_ptr<Registry> registry_;
  RegistryEntryRef object_;
  uint32_t dataPort_ = 0;
};

using IOObjectPtr = std::shared_ptr<IOObject>;
