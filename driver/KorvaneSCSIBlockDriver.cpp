#include "driver/KorvaneSCSIBlockDriver.h"

#include "driver/DriverIdentity.h"
#include "driver/KorvaneSCSIBlockUserClient.h"
#include "driver/MemoryDescriptor.h"

#include <algorithm>
#include <optional>
#include <string>

std::shared_ptr<com_korvane_DSSBlockCommandsDevice> com_korvane_DSSBlockCommandsDevice::create() {
  return std::make_shared<com_korvane_DSSBlockCommandsDevice>(
      [] { return std::make_shared<com_korvane_KorvaneDSSSCSIBlockUserClient>(); });
}

RegistryProperties com_korvane_DSSBlockCommandsDevice::personality() {
  return {
      {"CFBundleIdentifier", std::string(DriverIdentity::kBundleIdentifier)},
      {"CFBundleVersion", std::string(DriverIdentity::kBundleVersion)},
      {"IOClass", std::string(DriverIdentity::kDeviceClassName)},
      {"IOUserClientClass", std::string(DriverIdentity::kUserClientClassName)},
  };
}

com_korvane_DSSBlockCommandsDevice::com_korvane_DSSBlockCommandsDevice(
    UserClientFactory userClientFactory)
    : ScsiPeripheralDevice(std::move(userClientFactory)) {}

bool com_korvane_DSSBlockCommandsDevice::init(const RegistryProperties* dictionary) {
  if (!ScsiPeripheralDevice::init(dictionary)) {
    return false;
  }
  const std::scoped_lock lock(mutex_);
  userClient_.reset();
  removeCallback_ = nullptr;
  removeCallbackData_ = nullptr;
  return true;
}

ScsiPeripheralDevice* com_korvane_DSSBlockCommandsDevice::probe(const ServiceEntry* provider,
                                                                int32_t* score) {
  for (const ServiceEntry* entry = provider; entry != nullptr; entry = entry->parentEntry()) {
    const std::string name = entry->registryName();
    if (name != "IOUSBInterface" && name != "IOUSBHostInterface") {
      continue;
    }
    const std::optional<int64_t> vendor = entry->integerProperty("idVendor");
    const std::optional<int64_t> product = entry->integerProperty("idProduct");
    if (!vendor || !product) {
      continue;
    }
    // Read as 16-bit numbers, as the USB descriptors hold them.
    const auto vendorID = static_cast<uint16_t>(*vendor);
    const auto productID = static_cast<uint16_t>(*product);
    if (DriverIdentity::isMakerVendorID(vendorID) &&
        DriverIdentity::isClaimedProductID(productID)) {
      return ScsiPeripheralDevice::probe(provider, score);
    }
  }
  return nullptr;
}

bool com_korvane_DSSBlockCommandsDevice::start(const ServiceEntry* provider) {
  return ScsiPeripheralDevice::start(provider);
}

void com_korvane_DSSBlockCommandsDevice::stop(const ServiceEntry* provider) {
  ScsiPeripheralDevice::stop(provider);
}

bool com_korvane_DSSBlockCommandsDevice::terminate(uint32_t options) {
  RemoveCallback callback = nullptr;
  void* data = nullptr;
  {
    const std::scoped_lock lock(mutex_);
    if (!userClient_.expired()) {
      callback = removeCallback_;
      data = removeCallbackData_;
    }
  }
  if (callback != nullptr) {
    callback(data);
  }
  return ScsiPeripheralDevice::terminate(options);
}

IOReturn com_korvane_DSSBlockCommandsDevice::newUserClient(
    const std::shared_ptr<ClientTask>& owningTask, void* securityID, uint32_t type,
    RegistryProperties* properties, std::shared_ptr<UserClient>* handler) {
  if (properties != nullptr) {
    (*properties)["IOUserClientCrossEndianCompatible"] = true;
  }
  {
    const std::scoped_lock lock(mutex_);
    owningTask_ = owningTask;
  }
  const IOReturn result =
      ScsiPeripheralDevice::newUserClient(owningTask, securityID, type, properties, handler);
  if (result == kIOReturnSuccess && handler != nullptr) {
    const std::scoped_lock lock(mutex_);
    userClient_ = *handler;
  }
  return result;
}

IOReturn com_korvane_DSSBlockCommandsDevice::DSSExecuteSCSICommand(
    const KvonExSCSIIOStruct* request, uint32_t* status, uint32_t inputSize, uint32_t* outputSize) {
  if (request == nullptr || status == nullptr || outputSize == nullptr || inputSize == 0) {
    return kIOReturnBadArgument;
  }
  return execute(*request, kDefaultTimeout, status, outputSize);
}

IOReturn com_korvane_DSSBlockCommandsDevice::DSSExecuteSCSICommandT(
    const KvonExSCSIIOStructT* request, uint32_t* status, uint32_t inputSize,
    uint32_t* outputSize) {
  if (request == nullptr || status == nullptr || outputSize == nullptr || inputSize == 0) {
    return kIOReturnBadArgument;
  }
  return execute(request->request, request->timeout, status, outputSize);
}

IOReturn com_korvane_DSSBlockCommandsDevice::execute(const KvonExSCSIIOStruct& request,
                                                     uint32_t timeout, uint32_t* status,
                                                     uint32_t* outputSize) {
  *status = ScsiTaskStatus::kNoStatus;
  if (isInactive()) {
    return kIOReturnNoDevice;
  }
  std::unique_ptr<ScsiTask> task = getSCSITask();
  if (task == nullptr) {
    return kIOReturnIOError;
  }
  task->resetForNewTask();

  std::optional<MemoryDescriptor> data;
  std::optional<MemoryDescriptor> sense;
  const auto finish = [&](IOReturn result) {
    if (data) {
      data->complete();
    }
    if (sense) {
      sense->complete();
    }
    releaseSCSITask(std::move(task));
    return result;
  };

  // The record is the client's data: buffers must lie in memory it lent for this call.
  const std::shared_ptr<ClientTask> client = owningTask();
  const bool dataIn = request.direction != 0;
  if (request.dataLength != 0) {
    if (request.dataAddress == 0 || client == nullptr) {
      return finish(kIOReturnBadArgument);
    }
    data = MemoryDescriptor::withAddressRange(
        request.dataAddress, request.dataLength,
        dataIn ? MemoryDescriptor::Direction::in : MemoryDescriptor::Direction::out, *client);
    if (!data) {
      return finish(kIOReturnBadArgument);
    }
    if (const IOReturn prepared = data->prepare(); prepared != kIOReturnSuccess) {
      return finish(prepared);
    }
  }
  if (request.senseAddress != 0 && request.senseLength != 0) {
    if (client == nullptr) {
      return finish(kIOReturnBadArgument);
    }
    sense = MemoryDescriptor::withAddressRange(request.senseAddress, request.senseLength,
                                               MemoryDescriptor::Direction::in, *client);
    if (!sense) {
      return finish(kIOReturnBadArgument);
    }
    if (const IOReturn prepared = sense->prepare(); prepared != kIOReturnSuccess) {
      return finish(prepared);
    }
  }
  if (request.commandLength > request.commandBlock.size() ||
      !task->setCommandDescriptorBlock(
          std::span(request.commandBlock).first(request.commandLength))) {
    return finish(kIOReturnBadArgument);
  }
  if (timeout == 0 || timeout > kMaximumTimeout) {
    return finish(kIOReturnBadArgument);
  }

  if (request.dataLength == 0) {
    task->setDataTransferDirection(ScsiDataTransferDirection::none);
  } else {
    task->setDataTransferDirection(dataIn ? ScsiDataTransferDirection::fromTargetToInitiator
                                          : ScsiDataTransferDirection::fromInitiatorToTarget);
  }
  task->setDataBuffer(data ? data->bytes() : std::span<uint8_t>());
  task->setRequestedDataTransferCount(request.dataLength);
  task->setTimeoutDuration(timeout);

  const ScsiServiceResponse response = sendCommand(*task);
  *status = task->taskStatus();
  *outputSize = KvonRecord::kStatusSize;
  if (data) {
    data->complete();
  }

  IOReturn result = kIOReturnSuccess;
  if (response == ScsiServiceResponse::taskComplete &&
      task->taskStatus() == ScsiTaskStatus::kCheckCondition) {
    result = kIOReturnIOError;
    if (sense) {
      const std::span<uint8_t> senseBytes = sense->bytes();
      const size_t count = std::min(senseBytes.size(), ScsiTask::kSenseSize);
      std::copy_n(task->autoSenseData().begin(), count, senseBytes.begin());
      sense->complete();
    }
  }
  return finish(result);
}

IOReturn com_korvane_DSSBlockCommandsDevice::KvonDisablePolling() {
  disablePolling();
  return kIOReturnSuccess;
}

IOReturn com_korvane_DSSBlockCommandsDevice::KvonEnablePolling() {
  enablePolling();
  return kIOReturnSuccess;
}

void com_korvane_DSSBlockCommandsDevice::SetDSSRemoveCallback(void* data, RemoveCallback callback) {
  const std::scoped_lock lock(mutex_);
  removeCallbackData_ = data;
  removeCallback_ = callback;
}

std::shared_ptr<UserClient> com_korvane_DSSBlockCommandsDevice::userClient() const {
  const std::scoped_lock lock(mutex_);
  return userClient_.lock();
}

std::shared_ptr<ClientTask> com_korvane_DSSBlockCommandsDevice::owningTask() const {
  const std::scoped_lock lock(mutex_);
  return owningTask_;
}
