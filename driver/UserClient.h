#pragma once

#include "driver/ClientTask.h"
#include "driver/IOReturn.h"
#include "driver/ServiceEntry.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <span>

class ScsiPeripheralDevice;
class UserClient;

// The arguments of one structure-method call as they reach the user client.
struct ExternalMethodArguments {
  uint32_t selector = 0;
  uint32_t scalarInputCount = 0;
  std::span<const uint8_t> structureInput;
  uint32_t scalarOutputCount = 0;
  uint8_t* structureOutput = nullptr;
  uint32_t structureOutputSize = 0;  // in: the caller's output size; out: bytes written
};

using ExternalMethodAction = IOReturn (*)(UserClient* target, void* reference,
                                          ExternalMethodArguments* arguments);

// One row of a method table: the handler and the exact counts and sizes it takes.
struct ExternalMethodDispatch {
  ExternalMethodAction function = nullptr;
  uint32_t checkScalarInputCount = 0;
  uint32_t checkStructureInputSize = 0;
  uint32_t checkScalarOutputCount = 0;
  uint32_t checkStructureOutputSize = 0;
};

// The base of a driver's user client: one connection of one client task to one device.
class UserClient {
 public:
  UserClient() = default;
  UserClient(const UserClient&) = delete;
  UserClient& operator=(const UserClient&) = delete;
  virtual ~UserClient() = default;

  virtual bool initWithTask(const std::shared_ptr<ClientTask>& owningTask, void* securityID,
                            uint32_t type, RegistryProperties* properties);
  virtual bool start(const std::shared_ptr<ScsiPeripheralDevice>& provider);
  virtual void stop(const std::shared_ptr<ScsiPeripheralDevice>& provider);
  virtual bool terminate(uint32_t options);
  bool isInactive() const { return inactive_; }

  // Checks the dispatch row's counts and sizes exactly, then runs its handler; without a
  // row the selector is unsupported.
  virtual IOReturn externalMethod(uint32_t selector, ExternalMethodArguments* arguments,
                                  const ExternalMethodDispatch* dispatch, UserClient* target,
                                  void* reference);

  // The client closed the connection, or its process ended.
  virtual IOReturn clientClose();
  virtual IOReturn clientDied();

  bool setProperty(const std::string& key, RegistryValue value);
  const RegistryProperties& properties() const { return properties_; }

 private:
  RegistryProperties properties_;
  std::atomic<bool> inactive_ = false;
};
