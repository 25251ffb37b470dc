#pragma once

#include "platform/volume/VolumeTable.h"

#include <mutex>
#include <utility>
#include <vector>

// The volumes this process unmounted while the monitor runs. The monitor drops them from
// the table it compares with: when the kernel merges an unmount and the next mount at the
// same place into one change and hands out the same mount ID again, the table before and
// after look alike, yet the volume that mounted again must be reported.
class OwnUnmounts final {
 public:
  void setWatching(bool watching) {
    const std::lock_guard guard(mutex_);
    watching_ = watching;
    volumes_.clear();
  }

  void add(MountedVolume volume) {
    const std::lock_guard guard(mutex_);
    if (watching_) {
      volumes_.push_back(std::move(volume));
    }
  }

  std::vector<MountedVolume> take() {
    const std::lock_guard guard(mutex_);
    return std::exchange(volumes_, {});
  }

 private:
  std::mutex mutex_;
  bool watching_ = false;
  std::vector<MountedVolume> volumes_;
};
