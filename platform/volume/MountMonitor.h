#pragma once

#include "platform/volume/MountTable.h"
#include "platform/volume/OwnUnmounts.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

struct libmnt_monitor;

// libmount's monitor of the kernel's and userspace mount tables on a thread of its own.
// After each change it reads the table again and hands the volumes that were not there
// before to `appeared`, on that thread. The destructor wakes the thread and joins it.
class MountMonitor final {
 public:
  using Appeared = std::function<void(std::vector<MountedVolume>)>;

  MountMonitor(std::string mountInfoPath, std::shared_ptr<OwnUnmounts> ownUnmounts,
               Appeared appeared);
  MountMonitor(const MountMonitor&) = delete;
  MountMonitor& operator=(const MountMonitor&) = delete;
  ~MountMonitor();

  // Reads the table every later one is compared with and starts the thread; the error
  // text when libmount's monitor cannot be set up.
  std::optional<std::string> start();

  // The volumes of `current` that are not in `previous`. A mount is the same while its
  // mount ID, mount point and source stay, so a volume mounted again is a new one.
  static std::vector<MountedVolume> newVolumes(const std::vector<MountInfoEntry>& previous,
                                               const std::vector<MountInfoEntry>& current);
  // Drops the topmost entry of each of `volumes` from `known`.
  static void forget(std::vector<MountInfoEntry>& known, const std::vector<MountedVolume>& volumes);

 private:
  void run();

  const std::string mountInfoPath_;
  const std::shared_ptr<OwnUnmounts> ownUnmounts_;
  const Appeared appeared_;
  libmnt_monitor* monitor_ = nullptr;
  int monitorFd_ = -1;                 // owned by monitor_
  int wakeFd_ = -1;                    // an eventfd: written to stop the thread
  std::vector<MountInfoEntry> known_;  // the thread's alone once it runs
  std::thread thread_;
};
