#pragma once

#include <optional>
#include <string>

// Unmounts through UDisks2 on the D-Bus system bus (or the bus at `busAddress`), which
// decides by its own policy whether this user may; never asks the user.
class UDisksClient final {
 public:
  // How long one D-Bus call may take: an unmount flushes what was written to the volume.
  static constexpr int kCallTimeoutMs = 120'000;

  explicit UDisksClient(std::string busAddress = {});

  // Finds the file system object mounted at `mountPoint` and unmounts it, blocking the
  // calling thread; the error text (UDisks2's own message when it refused), or nullopt.
  std::optional<std::string> unmount(const std::string& mountPoint) const;

 private:
  std::string busAddress_;
};
