#include "platform/volume/InMemoryVolumeTable.h"

#include "platform/volume/MountTable.h"

#include <algorithm>
#include <filesystem>

namespace fs = std::filesystem;

namespace {

std::string normalized(const std::string& path) {
  std::error_code error;
  fs::path absolute = fs::absolute(path, error).lexically_normal();
  if (absolute.has_relative_path() && !absolute.has_filename()) {
    absolute = absolute.parent_path();  // "/a/b/" and "/a/b" are one volume
  }
  return absolute.string();
}

bool isInside(const std::string& path, const std::string& folder) {
  return path == folder || folder == "/" ||
         (path.starts_with(folder) && path.size() > folder.size() && path[folder.size()] == '/');
}

// What the volume's files take; a file that vanishes meanwhile counts nothing.
uint64_t usedBytes(const std::string& folder) {
  uint64_t used = 0;
  std::error_code error;
  for (fs::recursive_directory_iterator entry(folder, error), end; !error && entry != end;
       entry.increment(error)) {
    std::error_code sizeError;
    if (entry->is_regular_file(sizeError)) {
      const uintmax_t size = entry->file_size(sizeError);
      used += sizeError ? 0 : size;
    }
  }
  return used;
}

}  // namespace

bool InMemoryVolumeTable::mount(const std::string& folder, const std::string& source,
                                std::optional<uint64_t> freeBytes) {
  std::error_code error;
  if (!fs::is_directory(folder, error)) {
    return false;
  }
  MountedVolume volume{normalized(folder), source};
  {
    const std::lock_guard guard(state_->mutex);
    if (std::any_of(state_->volumes.begin(), state_->volumes.end(),
                    [&volume](const Volume& mounted) {
                      return mounted.volume.mountPoint == volume.mountPoint;
                    })) {
      return false;
    }
    state_->volumes.push_back({volume, freeBytes});
  }
  observers_.post({std::move(volume)});
  return true;
}

bool InMemoryVolumeTable::forget(const std::string& folder) {
  const std::string mountPoint = normalized(folder);
  const std::lock_guard guard(state_->mutex);
  return std::erase_if(state_->volumes, [&mountPoint](const Volume& mounted) {
           return mounted.volume.mountPoint == mountPoint;
         }) > 0;
}

void InMemoryVolumeTable::setUnmountPolicy(UnmountPolicy policy) {
  const std::lock_guard guard(state_->mutex);
  state_->unmountPolicy = std::move(policy);
}

std::vector<MountedVolume> InMemoryVolumeTable::mountedVolumes() {
  const std::lock_guard guard(state_->mutex);
  std::vector<MountedVolume> volumes;
  volumes.reserve(state_->volumes.size());
  for (const Volume& mounted : state_->volumes) {
    volumes.push_back(mounted.volume);
  }
  return volumes;
}

std::optional<std::string> InMemoryVolumeTable::sourceOf(const std::string& mountPoint) {
  const std::lock_guard guard(state_->mutex);
  for (const Volume& mounted : state_->volumes) {
    if (mounted.volume.mountPoint == mountPoint) {
      return mounted.volume.source;
    }
  }
  return std::nullopt;
}

std::optional<VolumeSpace> InMemoryVolumeTable::space(const std::string& path) {
  const std::string target = normalized(path);
  std::optional<uint64_t> freeBytes;
  std::string folder;
  {
    const std::lock_guard guard(state_->mutex);
    // The innermost volume holding the path answers, as with nested mounts.
    for (const Volume& mounted : state_->volumes) {
      if (isInside(target, mounted.volume.mountPoint) &&
          mounted.volume.mountPoint.size() >= folder.size()) {
        folder = mounted.volume.mountPoint;
        freeBytes = mounted.freeBytes;
      }
    }
  }
  if (!freeBytes) {
    return MountTable::fileSystemSpace(path);
  }
  std::error_code error;
  if (!fs::exists(path, error)) {
    return std::nullopt;
  }
  return VolumeSpace{*freeBytes, *freeBytes + usedBytes(folder)};
}

void InMemoryVolumeTable::unmount(const std::string& mountPoint, UnmountCompletion completion) {
  worker_.post([state = state_, mountPoint, completion = std::move(completion)] {
    std::optional<std::string> error;
    {
      std::unique_lock guard(state->mutex);
      const auto found = std::find_if(
          state->volumes.begin(), state->volumes.end(),
          [&](const Volume& mounted) { return mounted.volume.mountPoint == mountPoint; });
      if (found == state->volumes.end()) {
        error = kNotMountedError;
      } else {
        const UnmountPolicy policy = state->unmountPolicy;
        guard.unlock();  // the policy may look at the table
        const bool allowed = !policy || policy(mountPoint);
        guard.lock();
        if (!allowed) {
          error = kBusyError;
        } else {
          std::erase_if(state->volumes, [&mountPoint](const Volume& mounted) {
            return mounted.volume.mountPoint == mountPoint;
          });
        }
      }
    }
    completion(std::move(error));
  });
}

int InMemoryVolumeTable::addMountObserver(MountObserver observer) {
  return observers_.add(std::move(observer));
}

void InMemoryVolumeTable::removeMountObserver(int token) { observers_.remove(token); }
