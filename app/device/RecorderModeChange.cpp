#include "app/device/RecorderModeChange.h"

#include "app/core/Logger.h"
#include "app/device/IOObject.h"
#include "app/device/RecorderVolumes.h"
#include "platform/SerialQueue.h"
#include "platform/TaskReceiver.h"
#include "platform/volume/VolumeTable.h"

#include <mutex>
#include <thread>
#include <utility>

namespace {

void log(const QString& line) { Logger::shared().log(line); }

}  // namespace

// The pending callback of the next volume mount. Shared with the mount observer and the
// give-up timer, which may outlive a mode change.
struct RecorderModeChange::MountWatch {
  std::mutex lock;
  std::function<void()> didMountBlock;
  uint64_t armed = 0;  // counts armings, so that a timer gives up only its own
};

RecorderModeChange::RecorderModeChange(Waits waits)
    : waits_(waits), watch_(std::make_shared<MountWatch>()), volumes_(VolumeTable::shared()) {
  observer_ = volumes_.addMountObserver([this](const MountedVolume&) { didMount(); });
}

RecorderModeChange::~RecorderModeChange() { volumes_.removeMountObserver(observer_); }

void RecorderModeChange::run(AudioDevice& device, SerialQueue& queue, const Send& send,
                             const Completion& completion) {
  const QList<QUrl> volumes = RecorderVolumes::find(device);
  uint64_t armed = 0;
  if (!volumes.isEmpty()) {
    armed = setDidMountBlock(
        [&queue, completion] { queue.post([completion] { completion(std::nullopt); }); });
    RecorderVolumes::unmount(volumes, waits_.unmount);
  }
  const uint32_t status = send();
  if (device.driverEntry != nullptr) {
    device.driverEntry->close();
  }
  if (status != 0) {
    queue.post([completion, status] {
      completion(AudioDeviceError::deviceError(static_cast<int32_t>(status)));
    });
    return;
  }
  if (!volumes.isEmpty()) {
    // A recorder that never mounts a volume again must not leave the user waiting for
    // ever: after a bounded wait the change is given up.
    const std::weak_ptr<MountWatch> weak = watch_;
    TaskReceiver::postToMain(
        [weak, armed, &queue, completion] {
          const auto watch = weak.lock();
          if (watch == nullptr) {
            return;
          }
          {
            const std::scoped_lock guard(watch->lock);
            if (watch->armed != armed || !watch->didMountBlock) {
              return;
            }
            watch->didMountBlock = nullptr;
          }
          log(QStringLiteral("Mode change: no volume mounted again"));
          queue.post([completion] {
            completion(AudioDeviceError::deviceError(AudioDeviceErrorCode::kStepFailed));
          });
        },
        waits_.remount);
    return;
  }
  std::this_thread::sleep_for(waits_.settleWithoutVolume);
  queue.post([completion] { completion(std::nullopt); });
}

uint64_t RecorderModeChange::setDidMountBlock(std::function<void()> block) {
  const std::scoped_lock guard(watch_->lock);
  watch_->didMountBlock = std::move(block);
  return ++watch_->armed;
}

void RecorderModeChange::didMount() {
  // Taken in one step: a block that the next mode change arms meanwhile stays for its mount.
  std::function<void()> block;
  {
    const std::scoped_lock guard(watch_->lock);
    block = std::exchange(watch_->didMountBlock, nullptr);
  }
  if (block) {
    block();
  }
}
