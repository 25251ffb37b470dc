#include "platform/volume/MountMonitor.h"

#include <libmount.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <system_error>
#include <tuple>

namespace {

std::string errorText(int code) { return std::error_code(code, std::generic_category()).message(); }

auto key(const MountInfoEntry& entry) {
  return std::tie(entry.id, entry.volume.mountPoint, entry.volume.source);
}

}  // namespace

MountMonitor::MountMonitor(std::string mountInfoPath, std::shared_ptr<OwnUnmounts> ownUnmounts,
                           Appeared appeared)
    : mountInfoPath_(std::move(mountInfoPath)),
      ownUnmounts_(std::move(ownUnmounts)),
      appeared_(std::move(appeared)) {}

MountMonitor::~MountMonitor() {
  if (thread_.joinable()) {
    const uint64_t one = 1;
    while (write(wakeFd_, &one, sizeof one) < 0 && errno == EINTR) {
    }
    thread_.join();
    ownUnmounts_->setWatching(false);
  }
  if (wakeFd_ >= 0) {
    close(wakeFd_);
  }
  mnt_unref_monitor(monitor_);
}

std::optional<std::string> MountMonitor::start() {
  monitor_ = mnt_new_monitor();
  if (monitor_ == nullptr) {
    return "libmount has no monitor";
  }
  if (const int rc = mnt_monitor_enable_kernel(monitor_, 1); rc < 0) {
    return "cannot watch the kernel's mount table: " + errorText(-rc);
  }
  // The userspace table (/run/mount/utab) is optional: without it, kernel events remain.
  mnt_monitor_enable_userspace(monitor_, 1, nullptr);
  monitorFd_ = mnt_monitor_get_fd(monitor_);
  if (monitorFd_ < 0) {
    return "cannot watch the mount table: " + errorText(-monitorFd_);
  }
  wakeFd_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (wakeFd_ < 0) {
    return "cannot create the monitor's wake-up descriptor: " + errorText(errno);
  }
  ownUnmounts_->setWatching(true);
  known_ = MountTable::readMountInfo(mountInfoPath_).value_or(std::vector<MountInfoEntry>{});
  thread_ = std::thread(&MountMonitor::run, this);
  return std::nullopt;
}

std::vector<MountedVolume> MountMonitor::newVolumes(const std::vector<MountInfoEntry>& previous,
                                                    const std::vector<MountInfoEntry>& current) {
  std::vector<const MountInfoEntry*> sorted;
  sorted.reserve(previous.size());
  for (const MountInfoEntry& entry : previous) {
    sorted.push_back(&entry);
  }
  const auto less = [](const MountInfoEntry* a, const MountInfoEntry* b) {
    return key(*a) < key(*b);
  };
  std::sort(sorted.begin(), sorted.end(), less);
  std::vector<MountedVolume> volumes;
  for (const MountInfoEntry& entry : current) {
    if (!std::binary_search(sorted.begin(), sorted.end(), &entry, less)) {
      volumes.push_back(entry.volume);
    }
  }
  return volumes;
}

void MountMonitor::forget(std::vector<MountInfoEntry>& known,
                          const std::vector<MountedVolume>& volumes) {
  for (const MountedVolume& volume : volumes) {
    const auto top =
        std::find_if(known.rbegin(), known.rend(),
                     [&volume](const MountInfoEntry& entry) { return entry.volume == volume; });
    if (top != known.rend()) {
      known.erase(std::next(top).base());
    }
  }
}

void MountMonitor::run() {
  pollfd descriptors[] = {{monitorFd_, POLLIN, 0}, {wakeFd_, POLLIN, 0}};
  for (;;) {
    if (poll(descriptors, 2, -1) < 0) {
      if (errno == EINTR) {
        continue;
      }
      return;
    }
    if (descriptors[1].revents != 0) {
      return;
    }
    if ((descriptors[0].revents & (POLLERR | POLLHUP | POLLNVAL)) != 0) {
      return;
    }
    if ((descriptors[0].revents & POLLIN) == 0) {
      continue;
    }
    // The descriptor stays readable until every change has been taken; changes only say
    // that the table changed, so they are read away and the table is compared as a whole.
    while (mnt_monitor_next_change(monitor_, nullptr, nullptr) == 0) {
    }
    auto current = MountTable::readMountInfo(mountInfoPath_);
    if (!current) {
      continue;
    }
    forget(known_, ownUnmounts_->take());
    auto volumes = newVolumes(known_, *current);
    known_ = std::move(*current);
    if (!volumes.empty()) {
      appeared_(std::move(volumes));
    }
  }
}
