#pragma once

#include "driver/KvonExSCSIIOStruct.h"
#include "driver/ScsiPeripheralDevice.h"

#include <memory>
#include <mutex>

// The pass-through driver's device: it claims the SCSI device of one of the maker's
// recorders, keeps it usable as a disk and runs one client's request records on it.
class com_korvane_DSSBlockCommandsDevice final : public ScsiPeripheralDevice {
 public:
  using RemoveCallback = void (*)(void* data);

  // Longest time-out a record may ask for; longer ones are taken for garbage.
  static constexpr uint32_t kMaximumTimeout = 3'600'000;
  static constexpr uint32_t kDefaultTimeout = 10'000;

  // A device whose personality names com_korvane_KorvaneDSSSCSIBlockUserClient.
  static std::shared_ptr<com_korvane_DSSBlockCommandsDevice> create();
  // The properties the driver's personality publishes on its registry entry.
  static RegistryProperties personality();

  explicit com_korvane_DSSBlockCommandsDevice(UserClientFactory userClientFactory);

  bool init(const RegistryProperties* dictionary) override;
  ScsiPeripheralDevice* probe(const ServiceEntry* provider, int32_t* score) override;
  bool start(const ServiceEntry* provider) override;
  void stop(const ServiceEntry* provider) override;
  bool terminate(uint32_t options) override;
  IOReturn newUserClient(const std::shared_ptr<ClientTask>& owningTask, void* securityID,
                         uint32_t type, RegistryProperties* properties,
                         std::shared_ptr<UserClient>* handler) override;

  IOReturn DSSExecuteSCSICommand(const KvonExSCSIIOStruct* request, uint32_t* status,
                                 uint32_t inputSize, uint32_t* outputSize);
  IOReturn DSSExecuteSCSICommandT(const KvonExSCSIIOStructT* request, uint32_t* status,
                                  uint32_t inputSize, uint32_t* outputSize);

  IOReturn KvonDisablePolling();
  IOReturn KvonEnablePolling();
  void SetDSSRemoveCallback(void* data, RemoveCallback callback);

  std::shared_ptr<UserClient> userClient() const;
  std::shared_ptr<ClientTask> owningTask() const;

 private:
  IOReturn execute(const KvonExSCSIIOStruct& request, uint32_t timeout, uint32_t* status,
                   uint32_t* outputSize);

  mutable std::mutex mutex_;  // guards the fields below, not the requests
  std::shared_ptr<ClientTask> owningTask_;
  std::weak_ptr<UserClient> userClient_;
  void* removeCallbackData_ = nullptr;
  RemoveCallback removeCallback_ = nullptr;
};
