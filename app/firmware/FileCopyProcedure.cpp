#include "app/firmware/FileCopyProcedure.h"

#include "app/core/Logger.h"
#include "app/device/RecorderVolumes.h"
#include "app/firmware/KvoUnZip.h"
#include "app/firmware/LocalFileManager.h"
#include "app/firmware/TemporaryPackage.h"
#include "app/firmware/UpdateFirmwareCommands.h"
#include "platform/registry/Registry.h"
#include "platform/volume/VolumeTable.h"

#include <QDir>

#include <thread>

namespace {

void log(const QString& line) { Logger::shared().log(line); }

void report(const AudioDeviceInterface::Progress& progress, int64_t done, int64_t total) {
  if (progress) {
    progress(done, total);
  }
}

// The name comes from the server: it must name a file inside the update directory.
bool isPlainFileName(const QString& name) {
  return !name.isEmpty() && name != QLatin1String(".") && name != QLatin1String("..") &&
         !name.contains(QLatin1Char('/')) && !name.contains(QChar(0));
}

QString systemDirectory(const QUrl& volume) {
  return QDir(volume.toLocalFile()).filePath(QStringLiteral("System"));
}

}  // namespace

FileCopyProcedure::FileCopyProcedure() : FileCopyProcedure(Pauses{}, nullptr, QString()) {}

FileCopyProcedure::FileCopyProcedure(Pauses pauses, std::shared_ptr<FileManager> fileManager,
                                     QString temporaryDirectory)
    : pauses_(std::move(pauses)),
      fileManager_(fileManager != nullptr ? std::move(fileManager)
                                          : std::make_shared<LocalFileManager>()),
      temporaryDirectory_(std::move(temporaryDirectory)) {}

void FileCopyProcedure::pause(std::chrono::milliseconds duration) const {
  if (pauses_.sleep) {
    pauses_.sleep(duration);
  } else {
    std::this_thread::sleep_for(duration);
  }
}

QString FileCopyProcedure::updateDirectory(const QUrl& volume) {
  return QDir(systemDirectory(volume)).filePath(QStringLiteral("Update"));
}

std::optional<AudioDeviceError> FileCopyProcedure::update(
    AudioDeviceInterfaceReal& interface, AudioDevice& device, const QByteArray& firmware,
    const QString& fileName, const AudioDeviceInterface::Progress& progress) {
  report(progress, 0, 0);
  const QList<QUrl> volumes = RecorderVolumes::find(device);
  log(QStringLiteral("Disk Volumes(%1):").arg(volumes.size()));
  for (const QUrl& volume : volumes) {
    log(QStringLiteral("  ") + volume.toString());
  }
  if (volumes.isEmpty()) {
    return AudioDeviceError::deviceError(AudioDeviceErrorCode::kStepFailed);
  }
  const QUrl& target = volumes.front();
  const std::optional<VolumeSpace> space =
      VolumeTable::shared().space(target.toLocalFile().toStdString());
  if (!space) {
    return AudioDeviceError::deviceError(AudioDeviceErrorCode::kStepFailed);
  }

  const auto stopRequested = [&interface] { return interface.isInterruptionRequested(); };
  if (stopRequested()) {
    return AudioDeviceError::interrupted();
  }
  // Removed when this returns, whichever way.
  const std::unique_ptr<TemporaryPackage> package = TemporaryPackage::write(
      firmware, temporaryDirectory_.isEmpty() ? QDir::tempPath() : temporaryDirectory_);
  if (package == nullptr) {
    return AudioDeviceError::deviceError(AudioDeviceErrorCode::kStepFailed);
  }
  const int64_t expanded = KvoUnZip::totalFileSizeInZipFileAtPath(package->path());
  log(QStringLiteral("ZipExpandedSize=%1").arg(expanded));
  const bool isZip = expanded > 0;
  if (!isZip) {
    log(QStringLiteral("Not Zip File"));
  }
  const int64_t required = isZip ? expanded : firmware.size();
  if (static_cast<uint64_t>(required) > space->freeBytes) {
    return AudioDeviceError::diskFullError();
  }

  report(progress, 0, required);
  pause(pauses_.beforeWriting);
  bool placed = false;
  if (isZip) {
    placed = extractFirmwareArchive(package->path(), target, progress, stopRequested);
    if (stopRequested()) {
      // The folder was emptied for this update: all it holds is this update's part.
      QDir(updateDirectory(target)).removeRecursively();
      return AudioDeviceError::interrupted();
    }
    if (!placed) {
      log(QStringLiteral("Failed to unzip"));
    }
  }
  if (!placed && !copyFirmwareFile(firmware, target, fileName, progress, stopRequested)) {
    if (stopRequested()) {
      return AudioDeviceError::interrupted();
    }
    log(QStringLiteral("Failed to copy firmware file"));
    return AudioDeviceError::deviceError(AudioDeviceErrorCode::kStepFailed);
  }

  pause(pauses_.aroundUnmount);
  // Unmounting writes everything out; the recorder reads the volume itself from now on.
  interface.unmountVolumes(volumes);
  pause(pauses_.aroundUnmount);
  return std::nullopt;
}

bool FileCopyProcedure::makeUpdateDirectory(const QUrl& volume) {
  for (const QString& directory : {systemDirectory(volume), updateDirectory(volume)}) {
    switch (fileManager_->itemType(directory)) {
      case FileManager::ItemType::directory:
        break;
      case FileManager::ItemType::none:
        if (!fileManager_->createDirectory(directory)) {
          return false;
        }
        break;
      default:
        // A link could lead the firmware anywhere on the machine.
        return false;
    }
  }
  return true;
}

bool FileCopyProcedure::extractFirmwareArchive(const QString& archivePath, const QUrl& volume,
                                               const AudioDeviceInterface::Progress& progress,
                                               const KvoUnZip::StopRequest& stopRequested) {
  const QString directory = updateDirectory(volume);
  const FileManager::ItemType system = fileManager_->itemType(systemDirectory(volume));
  if (system != FileManager::ItemType::none && system != FileManager::ItemType::directory) {
    return false;
  }
  switch (fileManager_->itemType(directory)) {
    case FileManager::ItemType::none:
      break;
    case FileManager::ItemType::directory:
      // Does not follow links inside: only the volume's own files go.
      if (!QDir(directory).removeRecursively()) {
        return false;
      }
      break;
    default:
      if (!fileManager_->removeFile(directory)) {
        return false;
      }
      break;
  }
  if (!makeUpdateDirectory(volume)) {
    return false;
  }
  const QStringList extracted = KvoUnZip::unzipFileAtPath(
      archivePath, directory, *fileManager_,
      [&progress](int64_t done, int64_t total) { report(progress, done, total); }, stopRequested);
  return !extracted.isEmpty();
}

bool FileCopyProcedure::copyFirmwareFile(const QByteArray& firmware, const QUrl& volume,
                                         const QString& fileName,
                                         const AudioDeviceInterface::Progress& progress,
                                         const KvoUnZip::StopRequest& stopRequested) {
  if (!isPlainFileName(fileName)) {
    return false;
  }
  const QString target = QDir(updateDirectory(volume)).filePath(fileName);
  const auto fail = [this, &target] {
    if (fileManager_->itemType(target) == FileManager::ItemType::file) {
      fileManager_->removeFile(target);
    }
    return false;
  };
  if (!makeUpdateDirectory(volume)) {
    return fail();
  }
  if (fileManager_->itemType(target) != FileManager::ItemType::none &&
      !fileManager_->removeFile(target)) {
    return fail();
  }
  const std::unique_ptr<FileManager::Writer> writer = fileManager_->createFile(target);
  if (writer == nullptr) {
    return fail();
  }
  const int64_t total = firmware.size();
  report(progress, 0, total);
  for (int64_t offset = 0; offset < total;) {
    if (stopRequested && stopRequested()) {
      return fail();
    }
    const int64_t length = std::min(kCopyPieceSize, total - offset);
    if (!writer->write(firmware.constData() + offset, length)) {
      return fail();
    }
    offset += length;
    report(progress, offset, total);
  }
  // A failing close can mean the bytes never reached the volume.
  if (!writer->close()) {
    return fail();
  }
  return true;
}

std::optional<AudioDeviceError> FileCopyProcedure::finish(AudioDeviceInterfaceReal& interface,
                                                          AudioDevice& device,
                                                          const QByteArray& /*firmware*/) {
  return finishFileCopyUpdate(interface, device);
}

std::optional<AudioDeviceError> FileCopyProcedure::finishFileCopyUpdate(
    AudioDeviceInterfaceReal& interface, const AudioDevice& device) {
  UpdateFirmwareCommands commands(interface, device);
  const uint32_t started = commands.start(0, 0).status;
  pause(pauses_.afterStart);
  if (started != 0) {
    return AudioDeviceError::deviceError(static_cast<int32_t>(started));
  }
  uint32_t status = 0;
  for (int attempt = 0; attempt < kFinishAttempts; ++attempt) {
    // The files stay on the volume, whole: the recorder may still take them up.
    if (interface.isInterruptionRequested()) {
      return AudioDeviceError::interrupted();
    }
    pause(pauses_.beforeFinish);
    status = commands.finish();
    if (status == 0) {
      return std::nullopt;
    }
  }
  if (status == kIOReturnInvalidConnection) {
    // The recorder restarted to apply the firmware, which took its connection with it.
    return std::nullopt;
  }
  return AudioDeviceError::deviceError(static_cast<int32_t>(status));
}
