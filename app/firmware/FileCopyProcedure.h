#pragma once

#include "app/device/AudioDeviceInterfaceReal.h"
#include "app/firmware/FileManager.h"
#include "app/firmware/KvoUnZip.h"

#include <QUrl>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>

// Updates a recorder that takes its firmware as files: the package is unpacked (or copied
// as one file) into "System/Update" on the recorder's first volume, the volumes are
// unmounted, and in the follow-up step the recorder is told to apply what it finds there.
class FileCopyProcedure final : public FirmwareUpdateProcedure {
 public:
  using Sleep = std::function<void(std::chrono::milliseconds)>;

  // The recorder's pacing; tests shorten it.
  struct Pauses {
    std::chrono::milliseconds beforeWriting{1000};
    std::chrono::milliseconds aroundUnmount{100};
    std::chrono::milliseconds afterStart{300};
    std::chrono::milliseconds beforeFinish{100};  // before each of the Finish attempts
    Sleep sleep;                                  // none: the calling thread sleeps
  };

  static constexpr int kFinishAttempts = 10;
  static constexpr int64_t kCopyPieceSize = int64_t{1} << 20;

  FileCopyProcedure();
  // `temporaryDirectory` empty: the user's temporary directory at the time of the update.
  FileCopyProcedure(Pauses pauses, std::shared_ptr<FileManager> fileManager,
                    QString temporaryDirectory);

  std::optional<AudioDeviceError> update(AudioDeviceInterfaceReal& interface, AudioDevice& device,
                                         const QByteArray& firmware, const QString& fileName,
                                         const AudioDeviceInterface::Progress& progress) override;
  std::optional<AudioDeviceError> finish(AudioDeviceInterfaceReal& interface, AudioDevice& device,
                                         const QByteArray& firmware) override;

  // Replaces the volume's update directory with the archive's contents; false when nothing
  // could be extracted. Stops at `stopRequested` with no partial file left.
  bool extractFirmwareArchive(const QString& archivePath, const QUrl& volume,
                              const AudioDeviceInterface::Progress& progress,
                              const KvoUnZip::StopRequest& stopRequested = {});
  // Writes the package as `fileName` into the update directory; on failure (or at
  // `stopRequested`) no partial file is left. A name that is not a single plain file name is
  // refused.
  bool copyFirmwareFile(const QByteArray& firmware, const QUrl& volume, const QString& fileName,
                        const AudioDeviceInterface::Progress& progress,
                        const KvoUnZip::StopRequest& stopRequested = {});
  // Start (0, 0), then Finish until the recorder accepts it.
  std::optional<AudioDeviceError> finishFileCopyUpdate(AudioDeviceInterfaceReal& interface,
                                                       const AudioDevice& device);

  // "System/Update" on the volume.
  static QString updateDirectory(const QUrl& volume);

 private:
  // Creates "System" and "Update" as needed; false if either is anything but a directory.
  bool makeUpdateDirectory(const QUrl& volume);
  void pause(std::chrono::milliseconds duration) const;

  Pauses pauses_;
  std::shared_ptr<FileManager> fileManager_;
  QString temporaryDirectory_;
};
