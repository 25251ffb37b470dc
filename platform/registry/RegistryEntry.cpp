#include "platform/registry/RegistryEntry.h"

#include <algorithm>
#include <atomic>

namespace {

uint64_t nextEntryID() {
  static std::atomic<uint64_t> next{0x100000100};
  return next++;
}

}  // namespace

RegistryEntry::RegistryEntry(std::string className, std::string registryName, std::string location,
                             RegistryProperties properties)
    : entryID_(nextEntryID()),
      className_(std::move(className)),
      registryName_(std::move(registryName)),
      location_(std::move(location)),
      properties_(std::move(properties)) {}

std::optional<RegistryValue> RegistryEntry::property(std::string_view key) const {
  const auto found = properties_.find(key);
  if (found == properties_.end()) {
    return std::nullopt;
  }
  return found->second;
}

const ServiceEntry* RegistryEntry::parentEntry() const {
  // The tree holds the parent for as long as this entry hangs below it.
  return parent_.lock().get();
}

void RegistryEntry::removeChild(const RegistryEntry* child) {
  std::erase_if(children_, [child](const auto& entry) { return entry.get() == child; });
}
