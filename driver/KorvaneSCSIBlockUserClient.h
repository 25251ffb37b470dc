#pragma once

#include "driver/KorvaneSCSIBlockDriver.h"
#include "driver/UserClient.h"

#include <array>
#include <memory>
#include <mutex>

// One client process's connection to the pass-through driver: it checks each call against
// the method table, brings request records into the driver's layout and byte order, and
// runs them on the device.
class com_korvane_KorvaneDSSSCSIBlockUserClient final : public UserClient {
 public:
  // Indexed by selector; rows 3 and 4 are unassigned.
  static const std::array<ExternalMethodDispatch, 8> sMethods;

  com_korvane_KorvaneDSSSCSIBlockUserClient() = default;

  bool initWithTask(const std::shared_ptr<ClientTask>& owningTask, void* securityID, uint32_t type,
                    RegistryProperties* properties) override;
  bool start(const std::shared_ptr<ScsiPeripheralDevice>& provider) override;
  void stop(const std::shared_ptr<ScsiPeripheralDevice>& provider) override;
  IOReturn externalMethod(uint32_t selector, ExternalMethodArguments* arguments,
                          const ExternalMethodDispatch* dispatch, UserClient* target,
                          void* reference) override;
  IOReturn clientClose() override;
  IOReturn clientDied() override;

  IOReturn open();
  IOReturn close() const;
  // `request` holds inputSize bytes of the selector's record; `status` receives 4 bytes.
  IOReturn executeSCSICommand(const uint8_t* request, uint8_t* status, uint32_t inputSize,
                              uint32_t* outputSize, uint32_t selector);
  IOReturn executeSCSICommandT(const uint8_t* request, uint8_t* status, uint32_t inputSize,
                               uint32_t* outputSize, uint32_t selector);
  IOReturn KvonDisablePolling() const;
  IOReturn KvonEnablePolling() const;

  bool isCrossEndian() const { return crossEndian_; }
  std::shared_ptr<com_korvane_DSSBlockCommandsDevice> provider() const;

  static IOReturn sOpenUserClient(UserClient* target, void* reference,
                                  ExternalMethodArguments* arguments);
  static IOReturn sCloseUserClient(UserClient* target, void* reference,
                                   ExternalMethodArguments* arguments);
  static IOReturn sUCExecuteSCSICommand(UserClient* target, void* reference,
                                        ExternalMethodArguments* arguments);

 private:
  IOReturn run(const uint8_t* request, uint8_t* status, uint32_t inputSize, uint32_t* outputSize,
               uint32_t selector) const;
  void clearRemoveCallback() const;

  mutable std::mutex mutex_;  // guards provider_ and task_
  std::shared_ptr<com_korvane_DSSBlockCommandsDevice> provider_;
  std::shared_ptr<ClientTask> task_;
  bool crossEndian_ = false;
};
