#pragma once

#include "platform/SerialQueue.h"
#include "platform/volume/MountObservers.h"
#include "platform/volume/VolumeTable.h"

#include <memory>
#include <mutex>

// Folders standing in for volumes, for the virtual recorder and tests. Thread-safe;
// observers are called on the main thread, unmount completions on the table's own thread.
class InMemoryVolumeTable final : public VolumeTable {
 public:
  // Whether a volume may be unmounted; false makes the unmount fail as a busy one does.
  using UnmountPolicy = std::function<bool(const std::string& mountPoint)>;

  InMemoryVolumeTable() = default;
  ~InMemoryVolumeTable() override = default;

  // Mounts the existing folder `folder` (made absolute) as a volume from `source` and
  // notifies the observers. With `freeBytes`, space() inside it answers that much free and
  // that plus the folder's contents in total; without, the folder's file system's figures.
  // False when the folder does not exist or a volume is already mounted there.
  bool mount(const std::string& folder, const std::string& source,
             std::optional<uint64_t> freeBytes = std::nullopt);
  // Removes the volume without notification or completion, as when the device vanished.
  bool forget(const std::string& folder);
  void setUnmountPolicy(UnmountPolicy policy);

  std::vector<MountedVolume> mountedVolumes() override;
  std::optional<std::string> sourceOf(const std::string& mountPoint) override;
  std::optional<VolumeSpace> space(const std::string& path) override;
  void unmount(const std::string& mountPoint, UnmountCompletion completion) override;
  int addMountObserver(MountObserver observer) override;
  void removeMountObserver(int token) override;

  // The text of an unmount the policy refused, as the system says it.
  static constexpr const char* kBusyError = "Device or resource busy";

 private:
  struct Volume {
    MountedVolume volume;
    std::optional<uint64_t> freeBytes;
  };

  // Shared with the pending unmounts, which a completion that let go of the table's last
  // owner leaves to finish on their own.
  struct State {
    std::mutex mutex;
    std::vector<Volume> volumes;  // in mount order
    UnmountPolicy unmountPolicy;
  };

  const std::shared_ptr<State> state_ = std::make_shared<State>();
  MountObservers observers_;
  SerialQueue worker_{"volume"};  // last: pending unmounts finish first
};
