#include "app/core/LaunchOptions.h"
#include "app/core/Settings.h"
#include "app/sim/LaunchRoles.h"
#include "app/tool/ToolCommand.h"

#include <QFileInfo>

namespace {

QString orAbsent(const std::optional<QString>& value) {
  return value.value_or(QStringLiteral("<absent>"));
}

int settings(const QStringList& arguments) {
  if (!arguments.isEmpty()) {
    return Tool::usageError(QStringLiteral("settings takes no arguments"));
  }
  const QString path = Settings::filePath();
  const Settings values = Settings::read(path);
  Tool::printField(QStringLiteral("file"), path);
  Tool::printField(QStringLiteral("found"),
                   QFileInfo::exists(path) ? QStringLiteral("true") : QStringLiteral("false"));
  const bool logging = !values.isEmpty() && values.enableLog().value_or(false);
  Tool::printField(QLatin1String(Settings::kEnableLog),
                   logging ? QStringLiteral("true") : QStringLiteral("false"));
  Tool::printField(QLatin1String(Settings::kServer), orAbsent(values.server()));
  Tool::printField(QLatin1String(Settings::kModelID), orAbsent(values.modelID()));
  Tool::printField(QLatin1String(Settings::kFirmwareVersion), orAbsent(values.firmwareVersion()));
  Tool::printField(QLatin1String(Settings::kLocalModeDataDir), orAbsent(values.localModeDataDir()));
  Tool::printField(QLatin1String(Settings::kCheckURL), orAbsent(values.checkURL()));
  Tool::printField(QLatin1String(Settings::kCAFile), orAbsent(values.caFile()));
  return Tool::kSuccess;
}

QString boolText(bool value) { return value ? QStringLiteral("true") : QStringLiteral("false"); }

int launchOptions(const QStringList& arguments) {
  const LaunchOptions options = LaunchOptions::parse(arguments);
  // As the application takes them: an option whose file it cannot use is ignored.
  const LaunchOptions::Roles roles = LaunchRoles::resolve(options);
  if (roles.instanceCount) {
    Tool::printField(
        QStringLiteral("environment"),
        QStringLiteral("RunningEnvironmentMock instanceCount=%1").arg(*roles.instanceCount));
  }
  if (roles.mockDevicesPath) {
    Tool::printField(
        QStringLiteral("deviceDetector"),
        QStringLiteral("AudioDeviceDetectorMock file=%1 interval=1.0").arg(*roles.mockDevicesPath));
    Tool::printField(QStringLiteral("deviceInterface"),
                     QStringLiteral("AudioDeviceInterfaceMock mockFailure=%1 mockDiskFullError=%2")
                         .arg(boolText(roles.mockFailure), boolText(roles.mockDiskFullError)));
  }
  if (roles.mockResponsePath) {
    Tool::printField(QStringLiteral("updaterInfo"),
                     QStringLiteral("file=%1").arg(*roles.mockResponsePath));
    Tool::printField(QStringLiteral("downloadManager"),
                     QStringLiteral("DownloadManagerMock file=%1 connected=%2")
                         .arg(*roles.mockResponsePath, boolText(!options.mockNoNetwork)));
  }
  for (const QString& folder : roles.virtualRecorderFolders) {
    Tool::printField(QStringLiteral("virtualRecorder"), folder);
  }
  return Tool::kSuccess;
}

}  // namespace

QList<ToolCommand> coreCommands() {
  return {
      {QStringLiteral("settings"), QString(),
       QStringLiteral("the effective value of each key of the machine-wide settings file"),
       settings},
      {QStringLiteral("launch-options"), QStringLiteral("ARG..."),
       QStringLiteral("the roles these launch options would replace, and with which values"),
       launchOptions},
  };
}
