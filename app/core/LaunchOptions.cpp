#include "app/core/LaunchOptions.h"

#include <algorithm>
#include <iterator>

namespace {

// The value of "<option>=<value>", or none unless the argument splits at "=" into exactly
// two pieces.
std::optional<QString> valueOf(const QString& argument) {
  const QStringList pieces = argument.split(QLatin1Char('='));
  if (pieces.size() != 2) {
    return std::nullopt;
  }
  return pieces[1];
}

constexpr const char* kPrefixes[] = {"--instance_count", "--mock_device", "--mock_response",
                                     "--virtual_recorder", "--mock_nonetwork"};

std::optional<LaunchOption> parseOne(const QString& argument) {
  using Kind = LaunchOption::Kind;
  if (argument.startsWith(QLatin1String("--instance_count"))) {
    const auto value = valueOf(argument);
    bool ok = false;
    const qlonglong count = value ? value->toLongLong(&ok, 10) : 0;
    if (!ok) {
      return std::nullopt;
    }
    return LaunchOption{Kind::instanceCount, {}, count};
  }
  for (const auto& [prefix, kind] : {std::pair{"--mock_devices", Kind::mockDevices},
                                     std::pair{"--mock_response", Kind::mockResponse},
                                     std::pair{"--virtual_recorder", Kind::virtualRecorder}}) {
    if (argument.startsWith(QLatin1String(prefix))) {
      const auto value = valueOf(argument);
      if (!value) {
        return std::nullopt;
      }
      return LaunchOption{kind, *value, 0};
    }
  }
  if (argument.startsWith(QLatin1String("--mock_device_fail"))) {
    return LaunchOption{Kind::mockDeviceFail, {}, 0};
  }
  if (argument.startsWith(QLatin1String("--mock_device_diskfull"))) {
    return LaunchOption{Kind::mockDeviceDiskFull, {}, 0};
  }
  return std::nullopt;
}

}  // namespace

bool LaunchOptions::isLaunchOption(const QString& argument) {
  // "--mock_device" also begins "--mock_devices", "--mock_device_fail" and
  // "--mock_device_diskfull".
  return std::any_of(std::begin(kPrefixes), std::end(kPrefixes), [&argument](const char* prefix) {
    return argument.startsWith(QLatin1String(prefix));
  });
}

LaunchOptions LaunchOptions::parse(const QStringList& arguments) {
  LaunchOptions result;
  for (const QString& argument : arguments) {
    if (auto option = parseOne(argument)) {
      result.options.append(*option);
    }
  }
  result.mockNoNetwork = arguments.contains(QLatin1String("--mock_nonetwork"));
  return result;
}

LaunchOptions::Roles LaunchOptions::resolve(
    const std::function<bool(const LaunchOption&)>& usable) const {
  Roles roles;
  for (const LaunchOption& option : options) {
    switch (option.kind) {
      case LaunchOption::Kind::instanceCount:
        roles.instanceCount = option.instanceCount;
        break;
      case LaunchOption::Kind::mockDevices:
        if (!usable || usable(option)) {
          roles.mockDevicesPath = option.path;
          roles.mockFailure = false;
          roles.mockDiskFullError = false;
        }
        break;
      case LaunchOption::Kind::mockResponse:
        if (!usable || usable(option)) {
          roles.mockResponsePath = option.path;
        }
        break;
      case LaunchOption::Kind::mockDeviceFail:
        roles.mockFailure = roles.mockFailure || roles.mockDevicesPath.has_value();
        break;
      case LaunchOption::Kind::mockDeviceDiskFull:
        roles.mockDiskFullError = roles.mockDiskFullError || roles.mockDevicesPath.has_value();
        break;
      case LaunchOption::Kind::virtualRecorder:
        roles.virtualRecorderFolders.append(option.path);
        break;
    }
  }
  return roles;
}
