#pragma once

#include "app/device/AudioDeviceInterface.h"

#include <chrono>
#include <cstdint>
#include <optional>

// A recorder that answers from its record: the name and version detection gave it, a fixed
// serial number and device ID, and an update that only takes time, in 64 KiB pieces. It can
// fail part-way through an update or report a full volume. Ignores the driver connection.
class AudioDeviceInterfaceMock final : public AudioDeviceInterface {
 public:
  static constexpr int64_t kChunkSize = 65536;
  // With mockFailure, an update fails once more than this much has been written.
  static constexpr int64_t kFailureThreshold = 0x50000;
  static constexpr int32_t kFailureCode = -1;
  // readProductInformation's status when there is none to report.
  static constexpr uint32_t kNoProductInformation = 5;
  static constexpr uint32_t kDeviceID = 1;

  // `chunkPause`: the time one piece of an update takes.
  explicit AudioDeviceInterfaceMock(
      std::chrono::milliseconds chunkPause = std::chrono::milliseconds(100));

  // "Ver " and the version code with a point after its first character: "1230" gives
  // "Ver 1.23", the label the version code is read back from.
  static QString firmwareVersionLabel(const QString& versionCode);

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

  // Set before the interface is used; read on the device queue.
  bool mockFailure = false;
  bool mockDiskFullError = false;
  std::optional<AudioProductInformation> mockProductInfo;

 private:
  std::chrono::milliseconds chunkPause_;
};
