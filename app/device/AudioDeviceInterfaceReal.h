#pragma once

#include "app/device/AudioDeviceInterface.h"
#include "app/device/ScsiCdb.h"
#include "app/device/ScsiTransport.h"

#include <QList>
#include <QUrl>

#include <chrono>
#include <memory>
#include <mutex>

class AudioDeviceInterfaceReal;
class VolumeTable;

// An update procedure behind updateFirmware and finishUpdate, one per update type; the
// firmware transfer provides them.
class FirmwareUpdateProcedure {
 public:
  virtual ~FirmwareUpdateProcedure() = default;
  virtual std::optional<AudioDeviceError> update(
      AudioDeviceInterfaceReal& interface, AudioDevice& device, const QByteArray& firmware,
      const QString& fileName, const AudioDeviceInterface::Progress& progress) = 0;
  virtual std::optional<AudioDeviceError> finish(AudioDeviceInterfaceReal& interface,
                                                 AudioDevice& device,
                                                 const QByteArray& firmware) = 0;
};

// The recorder's vendor commands over the pass-through driver, and its volumes. Create and
// destroy it on the main thread: it watches for volume mounts there.
class AudioDeviceInterfaceReal final : public AudioDeviceInterface {
 public:
  // The waits of the mode change and of unmounting; tests shorten them.
  struct Waits {
    std::chrono::milliseconds settleWithoutVolume{10'000};  // no volume to wait for
    std::chrono::milliseconds remount{60'000};              // give up waiting for a mount
    std::chrono::milliseconds unmount{60'000};              // give up waiting for an unmount
  };

  static constexpr int64_t dataBufferLength = 65536;
  static constexpr uint32_t kFinishTimeout = 300'000;

  AudioDeviceInterfaceReal();
  AudioDeviceInterfaceReal(std::shared_ptr<FirmwareUpdateProcedure> scsiTransfer,
                           std::shared_ptr<FirmwareUpdateProcedure> fileCopy, Waits waits);
  ~AudioDeviceInterfaceReal() override;

  uint32_t readModelName(const AudioDevice& device, std::optional<QString>& name) override;
  uint32_t readFirmwareVersion(const AudioDevice& device,
                               std::optional<RecorderFirmwareVersion>& version) override;
  uint32_t readSerialID(const AudioDevice& device, std::optional<QString>& serial) override;
  uint32_t readDeviceID(const AudioDevice& device, std::optional<uint32_t>& deviceID) override;
  uint32_t readProductInformation(
      const AudioDevice& device,
      std::optional<std::vector<AudioProductInformation>>& list) override;
  std::optional<AudioDeviceError> updateFirmware(AudioDevice& device, const QByteArray& firmware,
                                                 const QString& fileName,
                                                 const Progress& progress) override;
  std::optional<AudioDeviceError> finishUpdate(AudioDevice& device,
                                               const QByteArray& firmware) override;
  bool requiresModeChange(const AudioDevice& device) override;
  void switchRecorderMode(AudioDevice& device, SerialQueue& queue, Completion completion) override;

  // The transport, for the update procedures: one command, logged; timeout 0 selects the
  // driver's own.
  uint32_t executeCommand(const AudioDevice& device, ScsiDataDirection direction,
                          const ScsiCdb& command, uint8_t* buffer, uint32_t length,
                          uint32_t timeout = 0);
  uint32_t readDeviceStatus(const AudioDevice& device, uint8_t* buffer, uint32_t length);

  // The recorder's mounted volumes, in the volume table's order.
  QList<QUrl> findRecorderVolumes(const AudioDevice& device);
  static void recorderBSDNames(const IOObject& entry, QStringList& names);
  // Unmounts each volume without user interface, waiting for each; failures are logged.
  void unmountVolumes(const QList<QUrl>& volumes) const;

  // Arms the one-shot callback of the next volume mount, replacing an earlier one; returns
  // the arming's number.
  uint64_t setDidMountBlock(std::function<void()> block);

 private:
  struct MountWatch;

  uint32_t readItem(const AudioDevice& device, RecorderItem item, QByteArray& answer);
  void didMount();

  std::shared_ptr<FirmwareUpdateProcedure> scsiTransfer_;
  std::shared_ptr<FirmwareUpdateProcedure> fileCopy_;
  Waits waits_;
  std::shared_ptr<MountWatch> watch_;  // didMountBlock and its lock
  VolumeTable& volumes_;               // the table it watches, the process's at construction
  int observer_ = 0;
};
