#include "app/sim/AudioDeviceInterfaceMock.h"

#include "platform/SerialQueue.h"

#include <algorithm>
#include <thread>

AudioDeviceInterfaceMock::AudioDeviceInterfaceMock(std::chrono::milliseconds chunkPause)
    : chunkPause_(chunkPause) {}

QString AudioDeviceInterfaceMock::firmwareVersionLabel(const QString& versionCode) {
  QString label = QStringLiteral("Ver ") + versionCode;
  // An empty code has no place for the point: the label then carries no version, rather
  // than reaching past its end.
  if (label.size() >= 5) {
    label.insert(5, QLatin1Char('.'));
    label.chop(1);
  }
  return label;
}

uint32_t AudioDeviceInterfaceMock::readModelName(const AudioDevice& device,
                                                 std::optional<QString>& name) {
  name = device.deviceName;
  return 0;
}

uint32_t AudioDeviceInterfaceMock::readFirmwareVersion(
    const AudioDevice& device, std::optional<RecorderFirmwareVersion>& version) {
  const QString label = firmwareVersionLabel(device.version);
  version = RecorderFirmwareVersion{label, 0, label};
  return 0;
}

uint32_t AudioDeviceInterfaceMock::readSerialID(const AudioDevice& /*device*/,
                                                std::optional<QString>& serial) {
  serial = QStringLiteral("000000000");
  return 0;
}

uint32_t AudioDeviceInterfaceMock::readDeviceID(const AudioDevice& /*device*/,
                                                std::optional<uint32_t>& deviceID) {
  deviceID = kDeviceID;
  return 0;
}

uint32_t AudioDeviceInterfaceMock::readProductInformation(
    const AudioDevice& /*device*/, std::optional<std::vector<AudioProductInformation>>& list) {
  if (!mockProductInfo) {
    return kNoProductInformation;
  }
  list = std::vector<AudioProductInformation>{*mockProductInfo};
  return 0;
}

std::optional<AudioDeviceError> AudioDeviceInterfaceMock::updateFirmware(
    AudioDevice& /*device*/, const QByteArray& firmware, const QString& /*fileName*/,
    const Progress& progress) {
  if (mockDiskFullError) {
    return AudioDeviceError::diskFullError();
  }
  const int64_t total = firmware.size();
  int64_t done = 0;
  while (done < total) {
    const int64_t chunk = std::min(total - done, kChunkSize);
    std::this_thread::sleep_for(chunkPause_);
    if (progress) {
      progress(done, total);
    }
    done += chunk;
    if (done > kFailureThreshold && mockFailure) {
      return AudioDeviceError::deviceError(kFailureCode);
    }
  }
  return std::nullopt;
}

std::optional<AudioDeviceError> AudioDeviceInterfaceMock::finishUpdate(
    AudioDevice& /*device*/, const QByteArray& /*firmware*/) {
  return std::nullopt;
}

bool AudioDeviceInterfaceMock::requiresModeChange(const AudioDevice& /*device*/) { return false; }

void AudioDeviceInterfaceMock::switchRecorderMode(AudioDevice& /*device*/, SerialQueue& queue,
                                                  Completion completion) {
  // Posted, as the role promises: a caller may hold the queue's work while it asks.
  queue.post([completion = std::move(completion)] {
    if (completion) {
      completion(std::nullopt);
    }
  });
}
