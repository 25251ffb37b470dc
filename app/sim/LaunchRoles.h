#pragma once

#include "app/core/LaunchOptions.h"
#include "app/sim/VirtualRecorderRack.h"

#include <QString>

#include <memory>
#include <variant>

class FWUpdaterController;

// What the launch options put in place of the real recorder, detector and server, kept for
// as long as the application runs. Virtual recorders replace the system's registry and
// volumes, so they are installed before the controller's roles are created; the simulated
// roles then replace the controller's own.
class LaunchRoles final {
 public:
  // Installs the virtual recorders the options name; an error names the folder that failed.
  static std::variant<std::unique_ptr<LaunchRoles>, QString> install(const LaunchOptions& options);
  ~LaunchRoles();
  LaunchRoles(const LaunchRoles&) = delete;
  LaunchRoles& operator=(const LaunchRoles&) = delete;

  // Seconds between two recorders played back by "--mock_devices".
  static constexpr double kMockDeviceInterval = 1.0;

  // Replaces the controller's roles as the options say, in their order. An option whose file
  // cannot be read or decoded is ignored and the role in place stays.
  void applyTo(FWUpdaterController& controller) const;

 private:
  explicit LaunchRoles(LaunchOptions options);

  LaunchOptions options_;
  std::unique_ptr<VirtualRecorderRack> rack_;
};
