#include "app/service/DownloadManager.h"

#include "app/core/Settings.h"
#include "app/service/FirmwareDemand.h"
#include "app/service/ServiceLimits.h"
#include "platform/BoundedRead.h"

#include <QDir>
#include <QFileInfo>

namespace {

// The recorder's folder in the local-mode data directory, or none without one.
std::optional<QString> localModeDeviceDirectory(const Settings& settings,
                                                const AudioDevice& device) {
  const std::optional<QString> root = settings.localModeDataDir();
  if (!root || root->isEmpty() || !QFileInfo::exists(*root)) {
    return std::nullopt;
  }
  return *root + QLatin1Char('/') + QString::number(device.deviceID, 16).toUpper();
}

}  // namespace

QString DownloadManager::requestModelCode(const AudioDevice& device) const {
  return Settings::read().modelID().value_or(
      QStringLiteral("%1").arg(device.modelID, 4, 10, QLatin1Char('0')));
}

QString DownloadManager::requestFirmwareVersion(const AudioDevice& device) const {
  return Settings::read().firmwareVersion().value_or(device.version);
}

std::optional<QByteArray> DownloadManager::localUpdateResponse(const AudioDevice& device) const {
  const std::optional<QString> folder = localModeDeviceDirectory(Settings::read(), device);
  if (!folder) {
    return std::nullopt;
  }
  return readFileAtMost(*folder + QStringLiteral("/Response.xml"), ServiceLimits::kMaxAnswerSize);
}

std::optional<QByteArray> DownloadManager::localUpdateFirmware(const AudioDevice& device) const {
  const std::optional<QByteArray> response = localUpdateResponse(device);
  if (!response) {
    return std::nullopt;
  }
  const std::optional<FirmwareInfo> info = FirmwareDemand().parseFirmwareResult(*response);
  const std::optional<QString> folder = localModeDeviceDirectory(Settings::read(), device);
  if (!info || !folder) {
    return std::nullopt;
  }
  // The answer names a file inside the recorder's folder; a name that leads out of it
  // (absolute, or through "..") is not read.
  const QString name = QDir::cleanPath(info->fileURL);
  if (name.isEmpty() || name == QLatin1String(".") || QDir::isAbsolutePath(name) ||
      name == QLatin1String("..") || name.startsWith(QLatin1String("../"))) {
    return std::nullopt;
  }
  return readFileAtMost(*folder + QLatin1Char('/') + name, ServiceLimits::kMaxPackageSize);
}
