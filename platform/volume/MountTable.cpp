#include "platform/volume/MountTable.h"

#include "platform/volume/MountMonitor.h"
#include "platform/volume/UDisksClient.h"

#include <libmount.h>
#include <sys/mount.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <QtGlobal>

#include <algorithm>
#include <cerrno>
#include <system_error>

namespace {

std::string text(const char* value) {
  return value != nullptr ? std::string(value) : std::string();
}

// The source of the topmost volume at exactly `mountPoint`.
std::optional<std::string> visibleSource(const std::vector<MountInfoEntry>& entries,
                                         const std::string& mountPoint) {
  // A later line is mounted over an earlier one at the same place.
  const auto top = std::find_if(entries.rbegin(), entries.rend(), [&mountPoint](const auto& entry) {
    return entry.volume.mountPoint == mountPoint;
  });
  return top != entries.rend() ? std::optional(top->volume.source) : std::nullopt;
}

}  // namespace

MountTable::MountTable(MountTableOptions options) : options_(std::move(options)) {}

MountTable::~MountTable() {
  const std::lock_guard guard(monitorMutex_);
  monitor_.reset();
}

std::vector<MountedVolume> MountTable::mountedVolumes() {
  std::vector<MountedVolume> volumes;
  if (auto entries = readMountInfo(options_.mountInfoPath)) {
    volumes.reserve(entries->size());
    for (MountInfoEntry& entry : *entries) {
      volumes.push_back(std::move(entry.volume));
    }
  }
  return volumes;
}

std::optional<std::string> MountTable::sourceOf(const std::string& mountPoint) {
  const auto entries = readMountInfo(options_.mountInfoPath);
  return entries ? visibleSource(*entries, mountPoint) : std::nullopt;
}

std::optional<VolumeSpace> MountTable::space(const std::string& path) {
  return fileSystemSpace(path);
}

void MountTable::unmount(const std::string& mountPoint, UnmountCompletion completion) {
  UnmountRoute route = options_.route;
  if (route == UnmountRoute::automatic) {
    route = geteuid() == 0 ? UnmountRoute::umount : UnmountRoute::udisks;
  }
  worker_.post([mountPoint, completion = std::move(completion), route,
                mountInfoPath = options_.mountInfoPath, busAddress = options_.busAddress,
                ownUnmounts = ownUnmounts_] {
    std::optional<std::string> source;
    if (const auto entries = readMountInfo(mountInfoPath)) {
      source = visibleSource(*entries, mountPoint);
      if (!source) {
        completion(kNotMountedError);
        return;
      }
    }
    auto error = route == UnmountRoute::umount ? unmountDirectly(mountPoint)
                                               : UDisksClient(busAddress).unmount(mountPoint);
    if (!error && source) {
      ownUnmounts->add({mountPoint, *source});
    }
    completion(std::move(error));
  });
}

int MountTable::addMountObserver(MountObserver observer) {
  const int token = observers_.add(std::move(observer));
  const std::lock_guard guard(monitorMutex_);
  if (!monitor_) {
    auto monitor = std::make_unique<MountMonitor>(
        options_.mountInfoPath, ownUnmounts_,
        [this](std::vector<MountedVolume> volumes) { observers_.post(std::move(volumes)); });
    if (const auto error = monitor->start()) {
      qWarning("Cannot watch the mount table: %s", error->c_str());
    } else {
      monitor_ = std::move(monitor);
    }
  }
  return token;
}

void MountTable::removeMountObserver(int token) {
  observers_.remove(token);
  const std::lock_guard guard(monitorMutex_);
  if (observers_.empty()) {
    monitor_.reset();
  }
}

std::optional<std::vector<MountInfoEntry>> MountTable::readMountInfo(const std::string& path) {
  libmnt_table* table = mnt_new_table();
  if (table == nullptr) {
    return std::nullopt;
  }
  // A line libmount cannot read is skipped rather than losing the whole table.
  mnt_table_set_parser_errcb(table, [](libmnt_table*, const char*, int) { return 1; });
  std::optional<std::vector<MountInfoEntry>> entries;
  if (mnt_table_parse_file(table, path.c_str()) == 0) {
    entries.emplace();
    libmnt_iter* iterator = mnt_new_iter(MNT_ITER_FORWARD);
    libmnt_fs* fs = nullptr;
    while (iterator != nullptr && mnt_table_next_fs(table, iterator, &fs) == 0) {
      entries->push_back(
          {mnt_fs_get_id(fs), {text(mnt_fs_get_target(fs)), text(mnt_fs_get_source(fs))}});
    }
    mnt_free_iter(iterator);
  }
  mnt_unref_table(table);
  return entries;
}

std::optional<std::string> MountTable::unmountDirectly(const std::string& mountPoint) {
  if (umount2(mountPoint.c_str(), 0) == 0) {
    return std::nullopt;
  }
  return std::error_code(errno, std::generic_category()).message();
}

std::optional<VolumeSpace> MountTable::fileSystemSpace(const std::string& path) {
  struct statvfs info {};
  if (statvfs(path.c_str(), &info) != 0) {
    return std::nullopt;
  }
  return VolumeSpace{static_cast<uint64_t>(info.f_bavail) * info.f_frsize,
                     static_cast<uint64_t>(info.f_blocks) * info.f_frsize};
}
