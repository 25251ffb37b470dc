#include "driver/UserClient.h"

#include <utility>

bool UserClient::initWithTask(const std::shared_ptr<ClientTask>& owningTask, void* /*securityID*/,
                              uint32_t /*type*/, RegistryProperties* /*properties*/) {
  return owningTask != nullptr;
}

bool UserClient::start(const std::shared_ptr<ScsiPeripheralDevice>& provider) {
  return provider != nullptr && !inactive_;
}

void UserClient::stop(const std::shared_ptr<ScsiPeripheralDevice>& /*provider*/) {}

bool UserClient::terminate(uint32_t /*options*/) { return !inactive_.exchange(true); }

IOReturn UserClient::externalMethod(uint32_t selector, ExternalMethodArguments* arguments,
                                    const ExternalMethodDispatch* dispatch, UserClient* target,
                                    void* reference) {
  if (dispatch == nullptr || dispatch->function == nullptr || arguments == nullptr) {
    return kIOReturnUnsupported;
  }
  if (arguments->scalarInputCount != dispatch->checkScalarInputCount ||
      arguments->structureInput.size() != dispatch->checkStructureInputSize ||
      arguments->scalarOutputCount != dispatch->checkScalarOutputCount ||
      arguments->structureOutputSize != dispatch->checkStructureOutputSize ||
      (dispatch->checkStructureOutputSize > 0 && arguments->structureOutput == nullptr)) {
    return kIOReturnBadArgument;
  }
  arguments->selector = selector;
  return dispatch->function(target != nullptr ? target : this, reference, arguments);
}

IOReturn UserClient::clientClose() {
  terminate(0);
  return kIOReturnSuccess;
}

IOReturn UserClient::clientDied() { return clientClose(); }

bool UserClient::setProperty(const std::string& key, RegistryValue value) {
  properties_[key] = std::move(value);
  return true;
}
