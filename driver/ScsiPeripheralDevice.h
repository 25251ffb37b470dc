#pragma once

#include "driver/ClientTask.h"
#include "driver/IOReturn.h"
#include "driver/ScsiTarget.h"
#include "driver/ScsiTask.h"
#include "driver/ServiceEntry.h"
#include "driver/UserClient.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>

// The direct-access SCSI device a driver attaches to: it keeps the recorder usable as a
// disk, hands out SCSI tasks and sends them to the target (the /dev/sg node, or an
// in-memory recorder), and creates user clients from its personality.
class ScsiPeripheralDevice : public std::enable_shared_from_this<ScsiPeripheralDevice> {
 public:
  using UserClientFactory = std::function<std::shared_ptr<UserClient>()>;

  explicit ScsiPeripheralDevice(UserClientFactory userClientFactory);
  ScsiPeripheralDevice(const ScsiPeripheralDevice&) = delete;
  ScsiPeripheralDevice& operator=(const ScsiPeripheralDevice&) = delete;
  virtual ~ScsiPeripheralDevice() = default;

  virtual bool init(const RegistryProperties* dictionary);
  // Returns this device when it takes the provider, else null.
  virtual ScsiPeripheralDevice* probe(const ServiceEntry* provider, int32_t* score);
  virtual bool start(const ServiceEntry* provider);
  virtual void stop(const ServiceEntry* provider);
  virtual bool terminate(uint32_t options);
  bool isInactive() const { return inactive_; }
  const ServiceEntry* provider() const { return provider_; }

  // Creates, initialises and starts a user client of the personality's class.
  virtual IOReturn newUserClient(const std::shared_ptr<ClientTask>& owningTask, void* securityID,
                                 uint32_t type, RegistryProperties* properties,
                                 std::shared_ptr<UserClient>* handler);

  // The target that answers this device's tasks; null detaches it.
  void attachTarget(std::shared_ptr<ScsiTarget> target);
  bool hasTarget() const;

  // Null when no task can be had (no target attached, or the device is not started).
  std::unique_ptr<ScsiTask> getSCSITask();
  void releaseSCSITask(std::unique_ptr<ScsiTask> task);
  // The one place where SCSI exchanges leave the driver.
  ScsiServiceResponse sendCommand(ScsiTask& task);

  void disablePolling() { pollingEnabled_ = false; }
  void enablePolling() { pollingEnabled_ = true; }
  bool isPollingEnabled() const { return pollingEnabled_; }

  const RegistryProperties& propertyTable() const { return properties_; }

 private:
  UserClientFactory userClientFactory_;
  RegistryProperties properties_;
  const ServiceEntry* provider_ = nullptr;
  std::atomic<bool> started_ = false;
  std::atomic<bool> inactive_ = false;
  std::atomic<bool> pollingEnabled_ = true;
  mutable std::mutex targetMutex_;
  std::shared_ptr<ScsiTarget> target_;
};
