#pragma once

#include "app/sim/VirtualRecorderConfig.h"
#include "app/sim/VirtualRecorderTarget.h"
#include "platform/registry/InMemoryRegistry.h"

#include <QString>

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <variant>

class InMemoryVolumeTable;

// A recorder kept in a folder and attached behind the lowest layers: its entries in the
// registry, its SCSI target behind the pass-through driver and its volumes in the volume
// table. After a mode change or an applied update it goes away and comes back after its
// restart time, as a recorder that restarts does.
class VirtualRecorder final {
 public:
  // Reads `folder`/recorder.plist; `index` tells recorders apart (USB location, disk name).
  static std::variant<std::unique_ptr<VirtualRecorder>, QString> open(
      const QString& folder, int index, std::shared_ptr<InMemoryRegistry> registry,
      std::shared_ptr<InMemoryVolumeTable> volumes);
  ~VirtualRecorder();
  VirtualRecorder(const VirtualRecorder&) = delete;
  VirtualRecorder& operator=(const VirtualRecorder&) = delete;

  // Attaches the recorder as if it was plugged in (its volumes mounted), or takes it away.
  void plugIn();
  void unplug();

  const QString& folder() const { return folder_; }
  const VirtualRecorderConfig& config() const { return config_; }
  const VirtualRecorderTarget& target() const { return *target_; }
  // The name of its disk in the registry; partitions append 1, 2, ...
  const std::string& diskName() const { return diskName_; }
  bool isPluggedIn() const;
  // Waits until a pending restart has brought the recorder back; false on time-out.
  bool waitUntilPluggedIn(std::chrono::milliseconds timeout) const;

 private:
  VirtualRecorder(QString folder, int index, VirtualRecorderConfig config,
                  std::shared_ptr<InMemoryRegistry> registry,
                  std::shared_ptr<InMemoryVolumeTable> volumes);

  void onEvent(VirtualRecorderTarget::Event event);
  void attach(bool mountVolumes);
  void detach();
  void runRestarts();
  QString volumeFolder(size_t number) const;

  const QString folder_;
  const VirtualRecorderConfig config_;
  const std::string location_;
  const std::string diskName_;
  const std::shared_ptr<InMemoryRegistry> registry_;
  const std::shared_ptr<InMemoryVolumeTable> volumes_;
  std::shared_ptr<VirtualRecorderTarget> target_;

  mutable std::mutex mutex_;
  mutable std::condition_variable changed_;
  std::optional<InMemoryRegistry::Recorder> entries_;
  std::vector<QString> mounted_;
  // A pending restart: when it is due and whether the volumes mount again.
  std::optional<std::chrono::steady_clock::time_point> restartAt_;
  bool remountOnRestart_ = true;
  bool stopping_ = false;
  std::thread restarter_;
};
