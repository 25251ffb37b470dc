#pragma once

#include "app/sim/VirtualRecorder.h"

#include <QStringList>

#include <memory>
#include <variant>
#include <vector>

// One or more virtual recorders behind an in-memory registry and volume table, which it
// installs as the process's own for as long as it lives; the system's come back after.
class VirtualRecorderRack final {
 public:
  static std::variant<std::unique_ptr<VirtualRecorderRack>, QString> install(
      const QStringList& folders);
  ~VirtualRecorderRack();
  VirtualRecorderRack(const VirtualRecorderRack&) = delete;
  VirtualRecorderRack& operator=(const VirtualRecorderRack&) = delete;

  const std::vector<std::unique_ptr<VirtualRecorder>>& recorders() const { return recorders_; }
  InMemoryRegistry& registry() const { return *registry_; }
  InMemoryVolumeTable& volumes() const { return *volumes_; }

 private:
  VirtualRecorderRack();

  std::shared_ptr<InMemoryRegistry> registry_;
  std::shared_ptr<InMemoryVolumeTable> volumes_;
  std::vector<std::unique_ptr<VirtualRecorder>> recorders_;
};
