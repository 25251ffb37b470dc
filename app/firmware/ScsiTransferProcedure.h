#pragma once

#include "app/device/AudioDeviceInterfaceReal.h"

#include <chrono>
#include <functional>
#include <optional>

// Writes a firmware image into a processor's flash with the UpdateFirmware commands, and
// in the follow-up step ends the update and reads the image back for comparison.
class ScsiTransferProcedure final : public FirmwareUpdateProcedure {
 public:
  using Sleep = std::function<void(std::chrono::milliseconds)>;

  // The recorder's pacing; tests shorten it.
  struct Pauses {
    std::chrono::milliseconds step{1000};  // after Start, before the upload, after Finish
    std::chrono::milliseconds poll{1000};  // between AreYouReady polls while nothing moves
    // A recorder whose block count stops moving for this long is given up on, rather than
    // polled for ever.
    std::chrono::milliseconds stallLimit{300'000};
    Sleep sleep;  // none: the calling thread sleeps
  };

  static constexpr int64_t kPieceSize = 65536;

  ScsiTransferProcedure() = default;
  explicit ScsiTransferProcedure(Pauses pauses) : pauses_(std::move(pauses)) {}

  std::optional<AudioDeviceError> update(AudioDeviceInterfaceReal& interface, AudioDevice& device,
                                         const QByteArray& firmware, const QString& fileName,
                                         const AudioDeviceInterface::Progress& progress) override;
  std::optional<AudioDeviceError> finish(AudioDeviceInterfaceReal& interface, AudioDevice& device,
                                         const QByteArray& firmware) override;

  // Announces the flash area and waits until the recorder has prepared it.
  uint32_t startAndWaitReady(AudioDeviceInterfaceReal& interface, const AudioDevice& device);
  uint32_t uploadImage(AudioDeviceInterfaceReal& interface, const AudioDevice& device,
                       const QByteArray& image, const AudioDeviceInterface::Progress& progress);
  uint32_t verifyImage(AudioDeviceInterfaceReal& interface, const AudioDevice& device,
                       const QByteArray& image);

 private:
  struct Area {
    uint32_t address = 0;
    uint32_t length = 0;
  };
  // The target processor's flash area, or none when the model table has no usable one.
  static std::optional<Area> flashArea(const AudioDevice& device);

  void pause(std::chrono::milliseconds duration) const;

  Pauses pauses_;
};
