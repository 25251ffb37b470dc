#include "app/sim/LaunchRoles.h"

#include "app/sim/AudioDeviceDetectorMock.h"
#include "app/sim/AudioDeviceInterfaceMock.h"
#include "app/sim/DownloadManagerMock.h"
#include "app/sim/MockDeviceDefine.h"
#include "app/sim/MockServerResponse.h"

#include <QHash>

namespace {

// The launch options' files, each read once; a file that cannot be read or decoded is
// remembered as none.
struct OptionFiles {
  QHash<QString, std::optional<QList<MockDeviceDefine>>> devices;
  QHash<QString, std::optional<MockServerResponse>> responses;

  bool usable(const LaunchOption& option) {
    switch (option.kind) {
      case LaunchOption::Kind::mockDevices:
        if (!devices.contains(option.path)) {
          devices.insert(option.path, MockDeviceDefine::readFile(option.path));
        }
        return devices.value(option.path).has_value();
      case LaunchOption::Kind::mockResponse:
        if (!responses.contains(option.path)) {
          responses.insert(option.path, MockServerResponse::readFile(option.path));
        }
        return responses.value(option.path).has_value();
      default:
        return true;
    }
  }
};

std::shared_ptr<DownloadManagerMock> makeDownloadManager(const MockServerResponse& response,
                                                         bool noNetwork) {
  auto manager = std::make_shared<DownloadManagerMock>();
  manager->firmwareInfo = response.firmwareInfo;
  manager->dammyHttpStatusCode = response.httpStatusCode;
  manager->dammyData = response.packageData();
  manager->isConnectedToInternet = !noNetwork;
  return manager;
}

}  // namespace

LaunchRoles::LaunchRoles(LaunchOptions options) : options_(std::move(options)) {}

LaunchRoles::~LaunchRoles() = default;

std::variant<std::unique_ptr<LaunchRoles>, QString> LaunchRoles::install(
    const LaunchOptions& options) {
  std::unique_ptr<LaunchRoles> roles(new LaunchRoles(options));
  const QStringList folders = options.resolve().virtualRecorderFolders;
  if (!folders.isEmpty()) {
    auto installed = VirtualRecorderRack::install(folders);
    if (auto* error = std::get_if<QString>(&installed)) {
      return std::move(*error);
    }
    roles->rack_ = std::get<std::unique_ptr<VirtualRecorderRack>>(std::move(installed));
  }
  return roles;
}

LaunchOptions::Roles LaunchRoles::resolve(const LaunchOptions& options) {
  OptionFiles files;
  return options.resolve([&files](const LaunchOption& option) { return files.usable(option); });
}

LaunchRoles::Simulated LaunchRoles::simulated() const {
  Simulated simulated;
  OptionFiles files;
  const LaunchOptions::Roles roles =
      options_.resolve([&files](const LaunchOption& option) { return files.usable(option); });

  if (roles.instanceCount) {
    simulated.environment = std::make_shared<RunningEnvironmentMock>(*roles.instanceCount);
  }
  if (roles.mockDevicesPath) {
    const QList<MockDeviceDefine> defines = *files.devices.value(*roles.mockDevicesPath);
    std::vector<AudioDevicePtr> devices;
    for (const MockDeviceDefine& define : defines) {
      devices.push_back(define.makeAudioDevice());
    }
    simulated.deviceDetector =
        std::make_shared<AudioDeviceDetectorMock>(std::move(devices), kMockDeviceInterval);
    auto deviceInterface = std::make_shared<AudioDeviceInterfaceMock>();
    deviceInterface->mockFailure = roles.mockFailure;
    deviceInterface->mockDiskFullError = roles.mockDiskFullError;
    simulated.deviceInterface = std::move(deviceInterface);
  }
  if (roles.mockResponsePath) {
    const MockServerResponse response = *files.responses.value(*roles.mockResponsePath);
    simulated.updaterInfo = UpdaterInfo{response.firmwareInfo};
    simulated.downloadManager = makeDownloadManager(response, options_.mockNoNetwork);
  }
  return simulated;
}
