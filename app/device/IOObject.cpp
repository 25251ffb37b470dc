#include "app/device/IOObject.h"

IOObject::IOObject(std::shared_ptr<Registry> registry, RegistryEntryRef object)
    : registry_(std::move(registry)), object_(std::move(object)) {}

IOObject::~IOObject() { close(); }

std::optional<RegistryProperties> IOObject::properties() const {
  if (object_ == nullptr || object_->isInactive()) {
    return std::nullopt;
  }
  return object_->properties();
}

bool IOObject::open() {
  if (dataPort_ != 0) {
    return true;
  }
  uint32_t connection = 0;
  if (registry_->openUserClient(object_, 0, &connection) != kIOReturnSuccess) {
    return false;
  }
  dataPort_ = connection;
  return true;
}

void IOObject::close() {
  if (dataPort_ != 0) {
    registry_->closeUserClient(dataPort_);
    dataPort_ = 0;
  }
}
