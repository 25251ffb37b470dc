#include "platform/volume/VolumeTable.h"

#include "platform/volume/MountTable.h"

#include <mutex>

namespace {

std::mutex& sharedLock() {
  static std::mutex lock;
  return lock;
}

std::shared_ptr<VolumeTable>& installedTable() {
  static std::shared_ptr<VolumeTable> table;
  return table;
}

}  // namespace

VolumeTable::~VolumeTable() = default;

VolumeTable& VolumeTable::shared() {
  const std::lock_guard guard(sharedLock());
  if (const auto& installed = installedTable()) {
    return *installed;
  }
  static MountTable system;
  return system;
}

void VolumeTable::setShared(std::shared_ptr<VolumeTable> table) {
  const std::lock_guard guard(sharedLock());
  installedTable() = std::move(table);
}
