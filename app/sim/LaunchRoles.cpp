#include "app/sim/LaunchRoles.h"

#include "app/core/FWUpdaterController.h"

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

void LaunchRoles::applyTo(FWUpdaterController& /*controller*/) const {}
