#pragma once

#include "app/device/AudioDevice.h"
#include "app/device/AudioDeviceError.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

class SerialQueue;
class VolumeTable;

// The switch of a recorder into its update mode and the wait for it to come back: its
// volumes are unmounted, the command is sent, and the change completes at the next volume
// mount (or after a settling time when it had no volume), given up after a bounded wait.
// Create and destroy it on the main thread: it watches for volume mounts there.
class RecorderModeChange final {
 public:
  // The waits of the mode change and of unmounting; tests shorten them.
  struct Waits {
    std::chrono::milliseconds settleWithoutVolume{10'000};  // no volume to wait for
    std::chrono::milliseconds remount{60'000};              // give up waiting for a mount
    std::chrono::milliseconds unmount{60'000};              // give up waiting for an unmount
  };
  using Completion = std::function<void(std::optional<AudioDeviceError>)>;
  // Sends the mode change command; returns the transport's result.
  using Send = std::function<uint32_t()>;

  explicit RecorderModeChange(Waits waits);
  ~RecorderModeChange();
  RecorderModeChange(const RecorderModeChange&) = delete;
  RecorderModeChange& operator=(const RecorderModeChange&) = delete;

  const Waits& waits() const { return waits_; }

  // Runs the change on the caller's thread; the completion is posted to `queue`.
  void run(AudioDevice& device, SerialQueue& queue, const Send& send, const Completion& completion);

  // Arms the one-shot callback of the next volume mount, replacing an earlier one; returns
  // the arming's number.
  uint64_t setDidMountBlock(std::function<void()> block);

 private:
  struct MountWatch;

  void didMount();

  Waits waits_;
  std::shared_ptr<MountWatch> watch_;  // didMountBlock and its lock
  VolumeTable& volumes_;               // the table it watches, the process's at construction
  int observer_ = 0;
};
