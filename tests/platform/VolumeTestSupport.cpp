#include "tests/platform/VolumeTestSupport.h"

#include <sched.h>
#include <sys/mount.h>
#include <unistd.h>

#include <cerrno>
#include <future>
#include <system_error>

// Qt, GLib (its event loop) and libdbus are not built for the thread sanitizer, which
// cannot see their locking: what Qt DBus hands between its threads looks unsynchronised.
// Calls from inside them are ignored; the tables' own threads stay checked. A queued call
// (invokeMethod, singleShot) hands its functor to the main thread under Qt's locking too, so
// the functor's captures look unsynchronised where Qt's slot-object code touches them.
// NOLINTNEXTLINE(bugprone-reserved-identifier)
extern "C" const char* __tsan_default_suppressions() {
  return "race:qobjectdefs_impl.h\n"
         "race:QtPrivate::QSlotObject\n"
         "race:QtPrivate::QFunctorSlotObject\n"
         "called_from_lib:libQt6Core.so\n"
         "called_from_lib:libQt6DBus.so\n"
         "called_from_lib:libdbus-1.so\n"
         "called_from_lib:libglib-2.0.so\n";
}

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
