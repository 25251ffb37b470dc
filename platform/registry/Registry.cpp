#include "platform/registry/Registry.h"

#include "driver/DriverIdentity.h"
#include "platform/registry/UdevRegistry.h"

#include <climits>
#include <string>

namespace {

std::mutex sharedMutex;
std::shared_ptr<Registry> sharedRegistry;

}  // namespace

std::shared_ptr<Registry> Registry::shared() {
  const std::scoped_lock guard(sharedMutex);
  if (sharedRegistry == nullptr) {
    sharedRegistry = std::make_shared<UdevRegistry>();
  }
  return sharedRegistry;
}

void Registry::setShared(std::shared_ptr<Registry> registry) {
  const std::scoped_lock guard(sharedMutex);
  sharedRegistry = std::move(registry);
}

Registry::Registry()
    : root_(std::make_shared<RegistryEntry>("IORegistryEntry", "Root", std::string(),
                                            RegistryProperties())) {}

Registry::~Registry() {
  const std::scoped_lock guard(mutex_);
  for (auto& [handle, connection] : connections_) {
    connection.client->clientClose();
  }
  connections_.clear();
}

std::vector<RegistryEntryRef> Registry::matchingServices(std::string_view className) {
  const std::scoped_lock guard(mutex_);
  refresh();
  std::vector<RegistryEntryRef> found;
  std::vector<RegistryEntryRef> pending{root_};
  while (!pending.empty()) {
    const RegistryEntryRef entry = pending.back();
    pending.pop_back();
    if (!entry->isInactive() && entry->className() == className) {
      found.push_back(entry);
    }
    const auto& children = entry->children();
    pending.insert(pending.end(), children.rbegin(), children.rend());
  }
  return found;
}

std::vector<RegistryEntryRef> Registry::children(const RegistryEntryRef& entry) const {
  const std::scoped_lock guard(mutex_);
  return entry != nullptr ? entry->children() : std::vector<RegistryEntryRef>();
}

std::vector<RegistryEntryRef> Registry::findChildren(
    const RegistryEntryRef& entry,
    const std::function<bool(const RegistryEntry&)>& predicate) const {
  std::vector<RegistryEntryRef> found;
  for (const RegistryEntryRef& child : children(entry)) {
    if (predicate(*child)) {
      found.push_back(child);
    }
    const std::vector<RegistryEntryRef> below = findChildren(child, predicate);
    found.insert(found.end(), below.begin(), below.end());
  }
  return found;
}

IOReturn Registry::openUserClient(const RegistryEntryRef& entry, uint32_t type,
                                  uint32_t* connection, const std::shared_ptr<ClientTask>& task,
                                  RegistryProperties* properties) {
  if (entry == nullptr || connection == nullptr || task == nullptr) {
    return kIOReturnBadArgument;
  }
  const std::scoped_lock guard(mutex_);
  if (entry->isInactive() || !isPresent(*entry)) {
    return kIOReturnNoDevice;
  }
  const std::shared_ptr<com_korvane_DSSBlockCommandsDevice> device = entry->driver();
  if (device == nullptr) {
    return kIOReturnUnsupported;
  }
  if (!device->hasTarget()) {
    if (const IOReturn attached = attachTarget(*entry); attached != kIOReturnSuccess) {
      return attached;
    }
  }
  std::shared_ptr<UserClient> client;
  if (const IOReturn opened = device->newUserClient(task, nullptr, type, properties, &client);
      opened != kIOReturnSuccess) {
    releaseTargetIfUnused(entry);
    return opened;
  }
  while (nextConnection_ == 0 || connections_.contains(nextConnection_)) {
    ++nextConnection_;
  }
  *connection = nextConnection_++;
  connections_[*connection] = {entry, std::move(client), task};
  return kIOReturnSuccess;
}

IOReturn Registry::closeUserClient(uint32_t connection) { return endConnection(connection, false); }

IOReturn Registry::clientDied(uint32_t connection) { return endConnection(connection, true); }

IOReturn Registry::endConnection(uint32_t connection, bool died) {
  std::shared_ptr<UserClient> client;
  RegistryEntryRef entry;
  {
    const std::scoped_lock guard(mutex_);
    const auto found = connections_.find(connection);
    if (found == connections_.end()) {
      return kIOReturnInvalidConnection;
    }
    client = std::move(found->second.client);
    entry = found->second.entry.lock();
    connections_.erase(found);
  }
  if (died) {
    client->clientDied();
  } else {
    client->clientClose();
  }
  if (entry != nullptr) {
    const std::scoped_lock guard(mutex_);
    releaseTargetIfUnused(entry);
  }
  return kIOReturnSuccess;
}

IOReturn Registry::callStructMethod(uint32_t connection, uint32_t selector,
                                    std::span<const uint8_t> input, uint8_t* output,
                                    size_t* outputSize, std::span<const ClientBuffer> lent) {
  std::shared_ptr<UserClient> client;
  std::shared_ptr<ClientTask> task;
  {
    const std::scoped_lock guard(mutex_);
    const auto found = connections_.find(connection);
    if (found == connections_.end()) {
      return kIOReturnInvalidConnection;
    }
    const RegistryEntryRef entry = found->second.entry.lock();
    if (entry == nullptr || entry->isInactive()) {
      return kIOReturnInvalidConnection;
    }
    if (!isPresent(*entry)) {
      remove(entry);
      return kIOReturnInvalidConnection;
    }
    client = found->second.client;
    task = found->second.task;
  }
  if ((output == nullptr) != (outputSize == nullptr || *outputSize == 0) ||
      (outputSize != nullptr && *outputSize > UINT32_MAX) || input.size() > UINT32_MAX) {
    return kIOReturnBadArgument;
  }
  ExternalMethodArguments arguments;
  arguments.structureInput = input;
  arguments.structureOutput = output;
  arguments.structureOutputSize = outputSize != nullptr ? static_cast<uint32_t>(*outputSize) : 0;
  // The caller lends its buffers in its own task. The device maps requests in the task of
  // its most recent client, so a client that was taken over finds its buffers refused.
  IOReturn result = kIOReturnSuccess;
  if (task != nullptr) {
    const ClientTask::Loan loan = task->lend(lent);
    result = client->externalMethod(selector, &arguments, nullptr, nullptr, nullptr);
  } else {
    result = client->externalMethod(selector, &arguments, nullptr, nullptr, nullptr);
  }
  if (outputSize != nullptr) {
    *outputSize = arguments.structureOutputSize;
  }
  return result;
}

void Registry::insert(const RegistryEntryRef& parent, const RegistryEntryRef& child) {
  child->setParent(parent);
  parent->addChild(child);
}

void Registry::remove(const RegistryEntryRef& entry) {
  for (const RegistryEntryRef& child : std::vector(entry->children())) {
    remove(child);
  }
  entry->markInactive();
  if (const auto& device = entry->driver()) {
    device->terminate(0);
    device->attachTarget(nullptr);
  }
  if (const RegistryEntryRef parent = entry->parent()) {
    parent->removeChild(entry.get());
  }
}

RegistryEntryRef Registry::claim(const RegistryEntryRef& nub, std::shared_ptr<ScsiTarget> target) {
  const std::shared_ptr<com_korvane_DSSBlockCommandsDevice> device =
      com_korvane_DSSBlockCommandsDevice::create();
  const RegistryProperties personality = com_korvane_DSSBlockCommandsDevice::personality();
  int32_t score = 0;
  if (!device->init(&personality) || device->probe(nub.get(), &score) == nullptr) {
    return nullptr;
  }
  const std::string className(DriverIdentity::kDeviceClassName);
  auto entry = std::make_shared<RegistryEntry>(className, className, nub->location(), personality);
  insert(nub, entry);
  if (!device->start(nub.get())) {
    remove(entry);
    return nullptr;
  }
  device->attachTarget(std::move(target));
  entry->setDriver(device);
  return entry;
}

void Registry::releaseTargetIfUnused(const RegistryEntryRef& entry) {
  // Only a backend that opens targets on demand gets them back; a given target stays.
  if (entry->deviceNode().empty()) {
    return;
  }
  for (const auto& [handle, connection] : connections_) {
    if (connection.entry.lock() == entry) {
      return;
    }
  }
  if (entry->driver() != nullptr) {
    entry->driver()->attachTarget(nullptr);
  }
}
