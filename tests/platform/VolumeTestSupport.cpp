#include "tests/platform/VolumeTestSupport.h"

#include <sched.h>
#include <sys/mount.h>
#include <unistd.h>

#include <cerrno>
#include <future>
#include <system_error>

std::optional<std::string> unmountAndWait(VolumeTable& table, const std::string& mountPoint) {
  auto promise = std::make_shared<std::promise<std::optional<std::string>>>();
  auto result = promise->get_future();
  table.unmount(mountPoint, [promise](std::optional<std::string> error) {
    promise->set_value(std::move(error));
  });
  // The completion may need the main thread's events (a D-Bus peer served there).
  const bool completed = processEventsUntil(
      [&result] { return result.wait_for(std::chrono::seconds(0)) == std::future_status::ready; });
  return completed ? result.get() : std::optional<std::string>("(no completion)");
}

namespace {

// Mounts made in a mount namespace of the test's own vanish with the process, even when a
// sanitizer aborts it, and stay out of everyone else's table. Threads and children started
// from here on share it. Where that is not allowed, the test mounts in the machine's.
void enterPrivateMountNamespace() {
  static const bool entered =
      unshare(CLONE_NEWNS) == 0 && mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
  static_cast<void>(entered);
}

}  // namespace

TmpfsMount::TmpfsMount(const std::string& source) {
  if (geteuid() != 0) {
    skipReason_ = "mounting a tmpfs needs root";
    return;
  }
  if (!dir_.isValid()) {
    skipReason_ = "no temporary folder";
    return;
  }
  const std::string path = dir_.path().toStdString();
  enterPrivateMountNamespace();
  if (mount(source.c_str(), path.c_str(), "tmpfs", 0, "size=4m") != 0) {
    skipReason_ =
        "cannot mount a tmpfs here: " + std::error_code(errno, std::generic_category()).message();
    return;
  }
  path_ = path;
}

TmpfsMount::~TmpfsMount() {
  if (!path_.empty()) {
    // Every layer the test left behind; fails harmlessly once none is left.
    while (umount2(path_.c_str(), MNT_DETACH) == 0) {
    }
  }
}

bool TmpfsMount::mountAgain(const std::string& source) {
  return !path_.empty() && mount(source.c_str(), path_.c_str(), "tmpfs", 0, "size=4m") == 0;
}
