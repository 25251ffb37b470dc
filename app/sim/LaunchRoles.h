#pragma once

#include "app/core/FirmwareInfo.h"
#include "app/core/LaunchOptions.h"
#include "app/core/RunningEnvironment.h"
#include "app/device/AudioDeviceDetector.h"
#include "app/device/AudioDeviceInterface.h"
#include "app/service/DownloadManager.h"
#include "app/sim/VirtualRecorderRack.h"

#include <QString>

#include <memory>
#include <optional>
#include <variant>

// What the launch options put in place of the real recorder, detector and server, kept for
// as long as the application runs. Virtual recorders replace the system's registry and
// volumes, so they are installed before the controller's roles are created; the start-up
// code then puts the simulated roles in place of the controller's own.
class LaunchRoles final {
 public:
  // Installs the virtual recorders the options name; an error names the folder that failed.
  static std::variant<std::unique_ptr<LaunchRoles>, QString> install(const LaunchOptions& options);
  ~LaunchRoles();
  LaunchRoles(const LaunchRoles&) = delete;
  LaunchRoles& operator=(const LaunchRoles&) = delete;

  // Seconds between two recorders played back by "--mock_devices".
  static constexpr double kMockDeviceInterval = 1.0;

  // The roles the options replace, as they say in their order; none where the role in place
  // stays. An option whose file cannot be read or decoded is ignored.
  struct Simulated {
    std::shared_ptr<RunningEnvironment> environment;
    std::shared_ptr<AudioDeviceDetector> deviceDetector;
    std::shared_ptr<AudioDeviceInterface> deviceInterface;
    std::optional<UpdaterInfo> updaterInfo;
    std::shared_ptr<DownloadManager> downloadManager;
  };
  Simulated simulated() const;

  // The roles `options` replace, their files read as simulated() reads them.
  static LaunchOptions::Roles resolve(const LaunchOptions& options);

 private:
  explicit LaunchRoles(LaunchOptions options);

  LaunchOptions options_;
  std::unique_ptr<VirtualRecorderRack> rack_;
};
