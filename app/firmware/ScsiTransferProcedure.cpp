#include "app/firmware/ScsiTransferProcedure.h"

#include "app/core/Logger.h"
#include "app/device/RecorderVolumes.h"
#include "app/firmware/UpdateFirmwareCommands.h"

#include <algorithm>
#include <cstring>
#include <thread>
#include <vector>

namespace {

void log(const QString& line) { Logger::shared().log(line); }

void report(const AudioDeviceInterface::Progress& progress, int64_t done, int64_t total) {
  if (progress) {
    progress(done, total);
  }
}

// The status of a procedure stopped by requestInterruption; never a recorder's.
constexpr uint32_t kStopped = 0xFFFF'FFFF;

std::optional<AudioDeviceError> resultOf(uint32_t status) {
  if (status == 0) {
    return std::nullopt;
  }
  if (status == kStopped) {
    return AudioDeviceError::interrupted();
  }
  return AudioDeviceError::deviceError(static_cast<int32_t>(status));
}

}  // namespace

void ScsiTransferProcedure::pause(std::chrono::milliseconds duration) const {
  if (pauses_.sleep) {
    pauses_.sleep(duration);
  } else {
    std::this_thread::sleep_for(duration);
  }
}

std::optional<ScsiTransferProcedure::Area> ScsiTransferProcedure::flashArea(
    const AudioDevice& device) {
  if (!device.transferAddress) {
    return std::nullopt;
  }
  const AudioDeviceTable::ScsiTransferAddress& row = *device.transferAddress;
  const Area area = device.targetProcessor == UpdateFirmwareTargetProcessor::dsp
                        ? Area{row.mainCPUAddress, row.mainCPULength}
                        : Area{row.subCPUAddress, row.subCPULength};
  if (area.address == 0 || area.length == 0) {
    return std::nullopt;
  }
  return area;
}

std::optional<AudioDeviceError> ScsiTransferProcedure::update(
    AudioDeviceInterfaceReal& interface, AudioDevice& device, const QByteArray& firmware,
    const QString& /*fileName*/, const AudioDeviceInterface::Progress& progress) {
  report(progress, 0, 0);
  const QList<QUrl> volumes = RecorderVolumes::find(device);
  log(QStringLiteral("Disk Volumes(%1):").arg(volumes.size()));
  for (const QUrl& volume : volumes) {
    log(QStringLiteral("  ") + volume.toString());
  }
  // The recorder rewrites its own storage: nothing may have it mounted meanwhile.
  interface.unmountVolumes(volumes);

  if (interface.isInterruptionRequested()) {
    return AudioDeviceError::interrupted();
  }
  uint32_t status = startAndWaitReady(interface, device);
  report(progress, 0, firmware.size());
  pause(pauses_.step);
  if (status == 0) {
    status = uploadImage(interface, device, firmware, progress);
  }
  return resultOf(status);
}

uint32_t ScsiTransferProcedure::startAndWaitReady(AudioDeviceInterfaceReal& interface,
                                                  const AudioDevice& device) {
  const std::optional<Area> area = flashArea(device);
  if (!area) {
    return AudioDeviceErrorCode::kNoTransferAddress;
  }
  UpdateFirmwareCommands commands(interface, device);
  const UpdateFirmwareCommands::BlockCountAnswer started =
      commands.start(area->address, area->length);
  pause(pauses_.step);
  if (started.blockCount == 0) {
    return started.status;
  }

  const uint16_t initial = started.blockCount;
  uint16_t last = initial;
  auto lastMove = std::chrono::steady_clock::now();
  for (;;) {
    if (interface.isInterruptionRequested()) {
      return kStopped;
    }
    UpdateFirmwareCommands::BlockCountAnswer answer = commands.areYouReady();
    // Until the count first moves the recorder is given time; a failing poll is retried
    // twice, a pause apart.
    if (last == initial || answer.status != 0) {
      pause(pauses_.poll);
      answer = commands.areYouReady();
      if (answer.status != 0) {
        pause(pauses_.poll);
        answer = commands.areYouReady();
        if (answer.status != 0) {
          pause(pauses_.poll);
          return answer.status;
        }
      }
    }
    const auto now = std::chrono::steady_clock::now();
    if (answer.blockCount != last) {
      lastMove = now;
    }
    last = answer.blockCount;
    if (last > initial) {
      return AudioDeviceErrorCode::kStepFailed;
    }
    if (last == 0) {
      return 0;
    }
    if (now - lastMove >= pauses_.stallLimit) {
      log(QStringLiteral("BlockCount did not change: giving up"));
      return AudioDeviceErrorCode::kStepFailed;
    }
  }
}

uint32_t ScsiTransferProcedure::uploadImage(AudioDeviceInterfaceReal& interface,
                                            const AudioDevice& device, const QByteArray& image,
                                            const AudioDeviceInterface::Progress& progress) {
  const int64_t total = image.size();
  report(progress, 0, total);
  UpdateFirmwareCommands commands(interface, device);
  for (int64_t offset = 0; offset < total;) {
    // The recorder keeps what it has: its flash area is written afresh by the next update.
    if (interface.isInterruptionRequested()) {
      return kStopped;
    }
    const int64_t length = std::min(kPieceSize, total - offset);
    // Only the piece in flight is duplicated, never the whole image.
    std::vector<uint8_t> piece(image.begin() + offset, image.begin() + offset + length);
    const uint32_t status = commands.upload(piece);
    if (status != 0) {
      return status;
    }
    offset += length;
    report(progress, offset, total);
  }
  return 0;
}

std::optional<AudioDeviceError> ScsiTransferProcedure::finish(AudioDeviceInterfaceReal& interface,
                                                              AudioDevice& device,
                                                              const QByteArray& firmware) {
  UpdateFirmwareCommands commands(interface, device);
  uint32_t status = commands.finish();
  pause(pauses_.step);
  if (status == 0 && interface.isInterruptionRequested()) {
    // Finished, but not read back.
    return AudioDeviceError::interrupted();
  }
  if (status == 0) {
    const std::optional<Area> area = flashArea(device);
    const uint32_t started = area ? commands.verifyStart(area->address, area->length)
                                  : static_cast<uint32_t>(AudioDeviceErrorCode::kNoTransferAddress);
    if (started != 0) {
      // The flash is written and finished; a recorder that cannot read it back is not an
      // update failure.
      return std::nullopt;
    }
    const uint32_t verified = verifyImage(interface, device, firmware);
    const uint32_t finished = commands.verifyFinish();
    status = verified != 0 ? verified : finished;
  }
  return resultOf(status);
}

uint32_t ScsiTransferProcedure::verifyImage(AudioDeviceInterfaceReal& interface,
                                            const AudioDevice& device, const QByteArray& image) {
  const int64_t total = image.size();
  if (total < 1) {
    return AudioDeviceErrorCode::kStepFailed;
  }
  UpdateFirmwareCommands commands(interface, device);
  std::vector<uint8_t> buffer(kPieceSize, 0);
  for (int64_t offset = 0; offset < total;) {
    if (interface.isInterruptionRequested()) {
      return kStopped;
    }
    const int64_t length = std::min(kPieceSize, total - offset);
    // Cleared for every piece, so that a short answer cannot pass on the last piece's bytes.
    std::fill(buffer.begin(), buffer.end(), 0);
    const uint32_t status = commands.verify(buffer, static_cast<uint32_t>(kPieceSize));
    if (status != 0) {
      return status;
    }
    if (std::memcmp(buffer.data(), image.constData() + offset, static_cast<size_t>(length)) != 0) {
      return AudioDeviceErrorCode::kVerifyMismatch;
    }
    offset += length;
  }
  return 0;
}
