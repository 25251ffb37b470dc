#pragma once

#include "app/device/AudioDevice.h"
#include "app/device/AudioDeviceError.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class Registry;
class SerialQueue;
class VolumeTable;

// The switch of a recorder into its update mode and the wait for it to come back: its
// volumes are unmounted, the command is sent, and the change completes when the recorder is
// back in the registry, at once when a volume is mounted or else at the next periodic look
// (or after a settling time when it had no volume), given up after a bounded wait. Create
// and destroy it on the main thread: it looks for the recorder there.
class RecorderModeChange final {
 public:
  // The waits of the mode change and of unmounting; tests shorten them.
  struct Waits {
    std::chrono::milliseconds settleWithoutVolume{10'000};  // no volume: the longest wait
    std::chrono::milliseconds remount{60'000};              // give up waiting for it
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

  // Whether the registry holds a recorder's driver entry that is not among `before`.
  static bool isBack(Registry& registry, const std::vector<RegistryEntryRef>& before);

 private:
  struct Watch;
  static constexpr std::chrono::milliseconds kCheckInterval{100};

  // Ends the pending change if the recorder is back or its time is up; otherwise the
  // periodic check (the `armed` change's) looks again later.
  static void check(const std::weak_ptr<Watch>& weak, std::optional<uint64_t> armed);

  Waits waits_;
  std::shared_ptr<Watch> watch_;  // the pending change and its lock
  VolumeTable& volumes_;          // the table it watches, the process's at construction
  int observer_ = 0;
};
