#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

struct MountedVolume {
  std::string mountPoint;  // absolute path, e.g. "/media/user/REC"
  std::string source;      // the device it is mounted from, e.g. "/dev/sdb1"

  bool operator==(const MountedVolume&) const = default;
};

struct VolumeSpace {
  uint64_t freeBytes = 0;  // available to an unprivileged writer
  uint64_t totalBytes = 0;

  bool operator==(const VolumeSpace&) const = default;
};

// The mounted volumes of the machine. One instance serves the whole process (shared());
// MountTable is the system's, InMemoryVolumeTable stands folders in for volumes.
class VolumeTable {
 public:
  using UnmountCompletion = std::function<void(std::optional<std::string> error)>;
  using MountObserver = std::function<void(const MountedVolume&)>;

  VolumeTable() = default;
  VolumeTable(const VolumeTable&) = delete;
  VolumeTable& operator=(const VolumeTable&) = delete;
  virtual ~VolumeTable();

  // Every mounted volume, in the table's order.
  virtual std::vector<MountedVolume> mountedVolumes() = 0;
  // The source of the volume mounted at exactly `mountPoint`; nullopt if none is.
  virtual std::optional<std::string> sourceOf(const std::string& mountPoint) = 0;
  // Free and total space of the file system holding `path`; nullopt when it cannot be read.
  virtual std::optional<VolumeSpace> space(const std::string& path) = 0;
  // Unmounts without any user interface. `completion` gets the error text, or nullopt on
  // success, exactly once and on a thread of the table's own, never on the caller's stack.
  // Completions run one after another: one must not wait for a later unmount's completion.
  virtual void unmount(const std::string& mountPoint, UnmountCompletion completion) = 0;
  // `observer` is called on the main thread with every volume that newly appears. Add and
  // remove on the main thread: once removeMountObserver() returns, it is never called again.
  virtual int addMountObserver(MountObserver observer) = 0;
  virtual void removeMountObserver(int token) = 0;

  // The process's table: the system's unless another was installed (virtual recorder,
  // tests). Install before the table is used from other threads.
  static VolumeTable& shared();
  // nullptr restores the system's.
  static void setShared(std::shared_ptr<VolumeTable> table);
};

// The text an unmount of something that is not mounted completes with.
inline constexpr const char* kNotMountedError = "Not mounted";
