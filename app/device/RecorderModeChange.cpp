#include "app/device/RecorderModeChange.h"

#include "app/core/Logger.h"
#include "app/device/IOObject.h"
#include "app/device/RecorderVolumes.h"
#include "driver/DriverIdentity.h"
#include "platform/SerialQueue.h"
#include "platform/TaskReceiver.h"
#include "platform/registry/Registry.h"
#include "platform/volume/VolumeTable.h"

#include <sys/stat.h>

#include <algorithm>
#include <mutex>
#include <utility>

namespace {

void log(const QString& line) { Logger::shared().log(line); }

}  // namespace

// The pending mode change: what tells that the recorder is back, until when it may take,
// and its completion. Shared with the checks on the main thread, which may outlive it.
struct RecorderModeChange::Watch {
  std::mutex lock;
  Completion completion;  // empty once the change has ended
  uint64_t armed = 0;     // counts changes, so that a late check ends only its own
  std::shared_ptr<Registry> registry;
  std::vector<RegistryEntryRef> before;  // the recorders' driver entries before the change
  std::chrono::steady_clock::time_point deadline;
  bool missingIsError = false;
};

namespace {

bool isBlockDevice(const std::string& path) {
  struct stat status {};
  return stat(path.c_str(), &status) == 0 && S_ISBLK(status.st_mode);
}

}  // namespace

RecorderModeChange::RecorderModeChange(Waits waits)
    : waits_(waits), watch_(std::make_shared<Watch>()), volumes_(VolumeTable::shared()) {
  // A volume of the recorder mounted means it is back: look at once rather than at the next
  // check. Other mounts (a bind mount, a tmpfs, another disk) end nothing.
  observer_ =
      volumes_.addMountObserver([weak = std::weak_ptr(watch_)](const MountedVolume& volume) {
        if (isBlockDevice(volume.source)) {
          check(weak, std::nullopt);
        }
      });
}

RecorderModeChange::~RecorderModeChange() { volumes_.removeMountObserver(observer_); }

void RecorderModeChange::run(AudioDevice& device, SerialQueue& queue, const Send& send,
                             const Completion& completion) {
  const QList<QUrl> volumes = RecorderVolumes::find(device);
  if (!volumes.isEmpty()) {
    RecorderVolumes::unmount(volumes, waits_.unmount);
  }
  std::shared_ptr<Registry> registry =
      device.driverEntry != nullptr ? device.driverEntry->sharedRegistry() : nullptr;
  std::vector<RegistryEntryRef> before;
  if (registry != nullptr) {
    before = registry->matchingServices(DriverIdentity::kDeviceClassName);
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
  // The recorder restarts into its update mode. The change is complete once it is back (a
  // driver entry that was not there before), whether or not its volumes are mounted again: a
  // desktop without an automounter leaves them alone. A recorder that had volumes and does
  // not come back must not leave the user waiting for ever; one without volumes was only
  // ever given time to settle.
  const bool hadVolumes = !volumes.isEmpty();
  uint64_t armed = 0;
  {
    const std::scoped_lock guard(watch_->lock);
    armed = ++watch_->armed;
    watch_->completion = [&queue, completion](std::optional<AudioDeviceError> error) {
      queue.post([completion, error] { completion(error); });
    };
    watch_->registry = std::move(registry);
    watch_->before = std::move(before);
    watch_->deadline = std::chrono::steady_clock::now() +
                       (hadVolumes ? waits_.remount : waits_.settleWithoutVolume);
    watch_->missingIsError = hadVolumes;
  }
  TaskReceiver::postToMain([weak = std::weak_ptr(watch_), armed] { check(weak, armed); });
}

void RecorderModeChange::check(const std::weak_ptr<Watch>& weak, std::optional<uint64_t> armed) {
  const auto watch = weak.lock();
  if (watch == nullptr) {
    return;
  }
  std::shared_ptr<Registry> registry;
  std::vector<RegistryEntryRef> before;
  bool late = false;
  bool missingIsError = false;
  {
    const std::scoped_lock guard(watch->lock);
    if (!watch->completion || (armed && *armed != watch->armed)) {
      return;
    }
    registry = watch->registry;
    before = watch->before;
    late = std::chrono::steady_clock::now() >= watch->deadline;
    missingIsError = watch->missingIsError;
  }
  const bool back = registry != nullptr && isBack(*registry, before);
  if (!back && !late) {
    if (armed) {  // the periodic check; a mount's check leaves the timing to it
      TaskReceiver::postToMain([weak, armed] { check(weak, armed); }, kCheckInterval);
    }
    return;
  }
  Completion completion;
  {
    const std::scoped_lock guard(watch->lock);
    if (armed && *armed != watch->armed) {
      return;
    }
    completion = std::exchange(watch->completion, nullptr);
    watch->registry.reset();
    watch->before.clear();
  }
  if (!completion) {
    return;
  }
  if (back || !missingIsError) {
    completion(std::nullopt);
  } else {
    log(QStringLiteral("Mode change: the recorder did not come back"));
    completion(AudioDeviceError::deviceError(AudioDeviceErrorCode::kStepFailed));
  }
}

bool RecorderModeChange::isBack(Registry& registry, const std::vector<RegistryEntryRef>& before) {
  const std::vector<RegistryEntryRef> drivers =
      registry.matchingServices(DriverIdentity::kDeviceClassName);
  return std::any_of(drivers.begin(), drivers.end(), [&](const RegistryEntryRef& entry) {
    return std::find(before.begin(), before.end(), entry) == before.end();
  });
}
