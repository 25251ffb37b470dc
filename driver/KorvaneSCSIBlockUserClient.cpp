#include "driver/KorvaneSCSIBlockUserClient.h"

#include "driver/KvonExSCSIIOStruct.h"

#include <cstring>
#include <optional>
#include <span>

using UserClientClass = com_korvane_KorvaneDSSSCSIBlockUserClient;

const std::array<ExternalMethodDispatch, 8> UserClientClass::sMethods = {{
    {&UserClientClass::sOpenUserClient, 0, 0, 0, 0},
    {&UserClientClass::sCloseUserClient, 0, 0, 0, 0},
    {&UserClientClass::sUCExecuteSCSICommand, 0, KvonRecord::kSize32, 0, KvonRecord::kStatusSize},
    {},
    {},
    {&UserClientClass::sUCExecuteSCSICommand, 0, KvonRecord::kSize64, 0, KvonRecord::kStatusSize},
    {&UserClientClass::sUCExecuteSCSICommand, 0, KvonRecord::kSizeT32, 0, KvonRecord::kStatusSize},
    {&UserClientClass::sUCExecuteSCSICommand, 0, KvonRecord::kSizeT64, 0, KvonRecord::kStatusSize},
}};

bool UserClientClass::initWithTask(const std::shared_ptr<ClientTask>& owningTask, void* securityID,
                                   uint32_t type, RegistryProperties* properties) {
  if (!UserClient::initWithTask(owningTask, securityID, type, properties) ||
      owningTask == nullptr) {
    return false;
  }
  {
    const std::scoped_lock lock(mutex_);
    task_ = owningTask;
    provider_.reset();
  }
  crossEndian_ = false;
  if (properties != nullptr && properties->contains("IOUserClientCrossEndian") &&
      setProperty("IOUserClientCrossEndianCompatible", true)) {
    crossEndian_ = true;
  }
  return true;
}

bool UserClientClass::start(const std::shared_ptr<ScsiPeripheralDevice>& provider) {
  if (!UserClient::start(provider)) {
    return false;
  }
  auto device = std::dynamic_pointer_cast<com_korvane_DSSBlockCommandsDevice>(provider);
  const std::scoped_lock lock(mutex_);
  provider_ = std::move(device);
  return provider_ != nullptr;
}

void UserClientClass::stop(const std::shared_ptr<ScsiPeripheralDevice>& provider) {
  clearRemoveCallback();
  UserClient::stop(provider);
}

IOReturn UserClientClass::externalMethod(uint32_t selector, ExternalMethodArguments* arguments,
                                         const ExternalMethodDispatch* dispatch, UserClient* target,
                                         void* reference) {
  switch (selector) {
    case KvonRecord::kSelectorOpen:
    case KvonRecord::kSelectorClose:
    case KvonRecord::kSelectorExecute32:
    case KvonRecord::kSelectorExecute64:
    case KvonRecord::kSelectorExecuteT32:
    case KvonRecord::kSelectorExecuteT64:
      dispatch = &sMethods.at(selector);
      if (target == nullptr) {
        target = this;
      }
      break;
    default:
      break;  // unassigned: the base rejects it as unsupported
  }
  return UserClient::externalMethod(selector, arguments, dispatch, target, reference);
}

IOReturn UserClientClass::clientClose() {
  clearRemoveCallback();
  close();
  {
    const std::scoped_lock lock(mutex_);
    task_.reset();
    provider_.reset();
  }
  terminate(0);
  return kIOReturnSuccess;
}

IOReturn UserClientClass::clientDied() {
  clearRemoveCallback();
  return UserClient::clientDied();
}

IOReturn UserClientClass::open() {
  std::shared_ptr<ClientTask> task;
  {
    const std::scoped_lock lock(mutex_);
    if (provider_ == nullptr) {
      return kIOReturnNotAttached;
    }
    task = task_;
  }
  if (task == nullptr) {
    return kIOReturnNotPrivileged;
  }
  if (task->clientHasPrivilege("local") == kIOReturnSuccess) {
    return kIOReturnSuccess;
  }
  return task->clientHasPrivilege("root");
}

IOReturn UserClientClass::close() const {
  return provider() == nullptr ? kIOReturnNotAttached : kIOReturnSuccess;
}

IOReturn UserClientClass::executeSCSICommand(const uint8_t* request, uint8_t* status,
                                             uint32_t inputSize, uint32_t* outputSize,
                                             uint32_t selector) {
  if (selector != KvonRecord::kSelectorExecute32 && selector != KvonRecord::kSelectorExecute64) {
    return kIOReturnBadArgument;
  }
  return run(request, status, inputSize, outputSize, selector);
}

IOReturn UserClientClass::executeSCSICommandT(const uint8_t* request, uint8_t* status,
                                              uint32_t inputSize, uint32_t* outputSize,
                                              uint32_t selector) {
  if (selector != KvonRecord::kSelectorExecuteT32 && selector != KvonRecord::kSelectorExecuteT64) {
    return kIOReturnBadArgument;
  }
  return run(request, status, inputSize, outputSize, selector);
}

IOReturn UserClientClass::run(const uint8_t* request, uint8_t* status, uint32_t inputSize,
                              uint32_t* outputSize, uint32_t selector) const {
  if (request == nullptr || status == nullptr || outputSize == nullptr || inputSize == 0) {
    return kIOReturnBadArgument;
  }
  const std::shared_ptr<com_korvane_DSSBlockCommandsDevice> device = provider();
  if (device == nullptr) {
    return kIOReturnNotAttached;
  }
  const std::optional<KvonExSCSIIOStructT> record =
      KvonRecord::decode(selector, std::span(request, inputSize), crossEndian_);
  if (!record) {
    return kIOReturnBadArgument;
  }
  uint32_t taskStatus = ScsiTaskStatus::kNoStatus;
  const IOReturn result =
      KvonRecord::hasTimeout(selector)
          ? device->DSSExecuteSCSICommandT(&*record, &taskStatus, inputSize, outputSize)
          : device->DSSExecuteSCSICommand(&record->request, &taskStatus, inputSize, outputSize);
  if (crossEndian_) {
    taskStatus = __builtin_bswap32(taskStatus);
  }
  std::memcpy(status, &taskStatus, sizeof(taskStatus));
  return result;
}

IOReturn UserClientClass::KvonDisablePolling() const {
  const auto device = provider();
  return device == nullptr ? kIOReturnNotAttached : device->KvonDisablePolling();
}

IOReturn UserClientClass::KvonEnablePolling() const {
  const auto device = provider();
  return device == nullptr ? kIOReturnNotAttached : device->KvonEnablePolling();
}

std::shared_ptr<com_korvane_DSSBlockCommandsDevice> UserClientClass::provider() const {
  const std::scoped_lock lock(mutex_);
  return provider_;
}

void UserClientClass::clearRemoveCallback() const {
  if (const auto device = provider()) {
    device->SetDSSRemoveCallback(nullptr, nullptr);
  }
}

IOReturn UserClientClass::sOpenUserClient(UserClient* target, void* /*reference*/,
                                          ExternalMethodArguments* /*arguments*/) {
  return static_cast<UserClientClass*>(target)->open();
}

IOReturn UserClientClass::sCloseUserClient(UserClient* target, void* /*reference*/,
                                           ExternalMethodArguments* /*arguments*/) {
  return static_cast<UserClientClass*>(target)->close();
}

IOReturn UserClientClass::sUCExecuteSCSICommand(UserClient* target, void* /*reference*/,
                                                ExternalMethodArguments* arguments) {
  auto* client = static_cast<UserClientClass*>(target);
  const uint32_t selector = arguments->selector;
  const auto inputSize = static_cast<uint32_t>(arguments->structureInput.size());
  if (selector == KvonRecord::kSelectorExecuteT32 || selector == KvonRecord::kSelectorExecuteT64) {
    return client->executeSCSICommandT(arguments->structureInput.data(), arguments->structureOutput,
                                       inputSize, &arguments->structureOutputSize, selector);
  }
  return client->executeSCSICommand(arguments->structureInput.data(), arguments->structureOutput,
                                    inputSize, &arguments->structureOutputSize, selector);
}
