#pragma once

#include "app/device/AudioDeviceInterface.h"
#include "app/device/RecorderModeChange.h"
#include "app/device/ScsiCdb.h"
#include "app/device/ScsiTransport.h"

#include <QList>
#include <QUrl>

#include <memory>

class AudioDeviceInterfaceReal;

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

// The recorder's vendor commands over the pass-through driver: each read sends one command
// through the transport and hands the answer to its decoder (RecorderAnswers); the mode
// change and the recorder's volumes are jobs of their own (RecorderModeChange,
// RecorderVolumes). Create and destroy it on the main thread: its mode change watches for
// volume mounts there.
class AudioDeviceInterfaceReal final : public AudioDeviceInterface {
 public:
  using Waits = RecorderModeChange::Waits;

  static constexpr int64_t dataBufferLength = RecorderCommandLayout::kAnswerBufferLength;
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
  // driver's own. Returns the driver's result.
  uint32_t executeCommand(const AudioDevice& device, ScsiDataDirection direction,
                          const ScsiCdb& command, uint8_t* buffer, uint32_t length,
                          uint32_t timeout = 0);
  // The same, with the whole outcome.
  ScsiOutcome exchange(const AudioDevice& device, ScsiDataDirection direction,
                       const ScsiCdb& command, std::span<uint8_t> data, uint32_t timeout = 0);
  uint32_t readDeviceStatus(const AudioDevice& device, uint8_t* buffer, uint32_t length);

  // Unmounts each volume without user interface, waiting for each as the waits say;
  // failures are logged.
  void unmountVolumes(const QList<QUrl>& volumes) const;

 private:
  uint32_t readItem(const AudioDevice& device, RecorderItem item, QByteArray& answer);

  std::shared_ptr<FirmwareUpdateProcedure> scsiTransfer_;
  std::shared_ptr<FirmwareUpdateProcedure> fileCopy_;
  RecorderModeChange modeChange_;
};
