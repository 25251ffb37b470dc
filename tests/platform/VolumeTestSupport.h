#pragma once

#include "platform/volume/VolumeTable.h"
#include "tests/support/EventLoop.h"

#include <QTemporaryDir>

#include <optional>
#include <string>

// Unmounts through `table` and waits (bounded) for the completion; the error text, or
// "(no completion)" when none came.
std::optional<std::string> unmountAndWait(VolumeTable& table, const std::string& mountPoint);

// A tmpfs of 4 MiB mounted from `source` on a fresh temporary folder; unmounted again at
// the end unless the test did.
class TmpfsMount final {
 public:
  explicit TmpfsMount(const std::string& source = "tarnwell-test-src");
  TmpfsMount(const TmpfsMount&) = delete;
  TmpfsMount& operator=(const TmpfsMount&) = delete;
  ~TmpfsMount();

  static constexpr uint64_t kSize = uint64_t{4} * 1024 * 1024;

  // Empty when mounting was not possible: then the reason is set.
  const std::string& path() const { return path_; }
  const std::string& skipReason() const { return skipReason_; }
  // Mounts another tmpfs from `source` at the same place (again, or on top).
  bool mountAgain(const std::string& source);

 private:
  QTemporaryDir dir_;
  std::string path_;
  std::string skipReason_;
};

#define SKIP_WITHOUT_MOUNT(mount)         \
  if ((mount).path().empty()) {           \
    GTEST_SKIP() << (mount).skipReason(); \
  }
