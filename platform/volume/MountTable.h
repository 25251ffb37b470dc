#pragma once

#include "platform/SerialQueue.h"
#include "platform/volume/MountObservers.h"
#include "platform/volume/OwnUnmounts.h"
#include "platform/volume/VolumeTable.h"

#include <mutex>

class MountMonitor;

// One line of the kernel's mount table.
struct MountInfoEntry {
  int id = 0;  // the kernel's mount ID: a volume mounted again gets a new one
  MountedVolume volume;

  bool operator==(const MountInfoEntry&) const = default;
};

// How MountTable unmounts: umount2 needs the privilege to unmount, UDisks2 decides for the
// user (without asking: no user interaction).
enum class UnmountRoute { automatic, umount, udisks };

struct MountTableOptions {
  std::string mountInfoPath = "/proc/self/mountinfo";
  UnmountRoute route = UnmountRoute::automatic;  // umount as root, else UDisks2
  std::string busAddress;                        // UDisks2's bus; empty: the system bus
};

// The system's mounted volumes: the kernel's mount table read with libmount, space by
// statvfs, unmount by umount2 or UDisks2, and libmount's monitor for new mounts.
class MountTable final : public VolumeTable {
 public:
  explicit MountTable(MountTableOptions options = {});
  ~MountTable() override;

  std::vector<MountedVolume> mountedVolumes() override;
  std::optional<std::string> sourceOf(const std::string& mountPoint) override;
  std::optional<VolumeSpace> space(const std::string& path) override;
  void unmount(const std::string& mountPoint, UnmountCompletion completion) override;
  int addMountObserver(MountObserver observer) override;
  void removeMountObserver(int token) override;

  // The entries of a mountinfo file in its order; nullopt when it cannot be read.
  static std::optional<std::vector<MountInfoEntry>> readMountInfo(const std::string& path);
  // umount2 without flags, on the calling thread; the error text, or nullopt on success.
  static std::optional<std::string> unmountDirectly(const std::string& mountPoint);
  // Free and total space of the file system holding `path` (statvfs).
  static std::optional<VolumeSpace> fileSystemSpace(const std::string& path);

 private:
  const MountTableOptions options_;
  MountObservers observers_;
  const std::shared_ptr<OwnUnmounts> ownUnmounts_ = std::make_shared<OwnUnmounts>();
  std::mutex monitorMutex_;
  std::unique_ptr<MountMonitor> monitor_;  // runs while there are observers
  SerialQueue worker_{"volume"};           // last: pending unmounts finish first
};
