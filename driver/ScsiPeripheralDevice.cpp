#include "driver/ScsiPeripheralDevice.h"

#include <utility>

ScsiPeripheralDevice::ScsiPeripheralDevice(UserClientFactory userClientFactory)
    : userClientFactory_(std::move(userClientFactory)) {}

bool ScsiPeripheralDevice::init(const RegistryProperties* dictionary) {
  if (dictionary != nullptr) {
    properties_ = *dictionary;
  }
  return true;
}

ScsiPeripheralDevice* ScsiPeripheralDevice::probe(const ServiceEntry* provider,
                                                  int32_t* /*score*/) {
  return provider != nullptr ? this : nullptr;
}

bool ScsiPeripheralDevice::start(const ServiceEntry* provider) {
  if (provider == nullptr || inactive_) {
    return false;
  }
  provider_ = provider;
  started_ = true;
  return true;
}

void ScsiPeripheralDevice::stop(const ServiceEntry* /*provider*/) { started_ = false; }

bool ScsiPeripheralDevice::terminate(uint32_t /*options*/) {
  if (inactive_.exchange(true)) {
    return false;
  }
  stop(provider_);
  return true;
}

IOReturn ScsiPeripheralDevice::newUserClient(const std::shared_ptr<ClientTask>& owningTask,
                                             void* securityID, uint32_t type,
                                             RegistryProperties* properties,
                                             std::shared_ptr<UserClient>* handler) {
  if (handler == nullptr || !userClientFactory_) {
    return kIOReturnBadArgument;
  }
  if (inactive_) {
    return kIOReturnNoDevice;
  }
  std::shared_ptr<UserClient> client = userClientFactory_();
  if (client == nullptr || !client->initWithTask(owningTask, securityID, type, properties)) {
    return kIOReturnBadArgument;
  }
  if (!client->start(shared_from_this())) {
    return kIOReturnNotAttached;
  }
  *handler = std::move(client);
  return kIOReturnSuccess;
}

void ScsiPeripheralDevice::attachTarget(std::shared_ptr<ScsiTarget> target) {
  const std::scoped_lock lock(targetMutex_);
  target_ = std::move(target);
}

bool ScsiPeripheralDevice::hasTarget() const {
  const std::scoped_lock lock(targetMutex_);
  return target_ != nullptr;
}

std::unique_ptr<ScsiTask> ScsiPeripheralDevice::getSCSITask() {
  if (!started_ || !hasTarget()) {
    return nullptr;
  }
  return std::make_unique<ScsiTask>();
}

void ScsiPeripheralDevice::releaseSCSITask(std::unique_ptr<ScsiTask> /*task*/) {}

ScsiServiceResponse ScsiPeripheralDevice::sendCommand(ScsiTask& task) {
  std::shared_ptr<ScsiTarget> target;
  {
    const std::scoped_lock lock(targetMutex_);
    target = target_;
  }
  task.setServiceResponse(ScsiServiceResponse::requestInProcess);
  task.setTaskStatus(ScsiTaskStatus::kNoStatus);
  task.setRealizedDataTransferCount(0);
  if (target == nullptr || inactive_) {
    task.setServiceResponse(ScsiServiceResponse::serviceDeliveryOrTargetFailure);
    task.setTaskStatus(ScsiTaskStatus::kDeviceNotPresent);
  } else {
    target->execute(task);
    // A target that forgot to finish the task has not delivered it.
    if (task.serviceResponse() == ScsiServiceResponse::requestInProcess) {
      task.setServiceResponse(ScsiServiceResponse::serviceDeliveryOrTargetFailure);
      task.setTaskStatus(ScsiTaskStatus::kDeliveryFailure);
    }
  }
  return task.serviceResponse();
}
