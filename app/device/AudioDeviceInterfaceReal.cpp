#include "app/device/AudioDeviceInterfaceReal.h"

#include "app/core/Logger.h"
#include "app/device/RecorderAnswers.h"
#include "app/device/RecorderVolumes.h"

#include <algorithm>
#include <array>
#include <utility>

namespace {

QString hex(uint64_t value) { return QString::number(value, 16).toUpper(); }

void log(const QString& line) { Logger::shared().log(line); }

}  // namespace

AudioDeviceInterfaceReal::AudioDeviceInterfaceReal()
    : AudioDeviceInterfaceReal(nullptr, nullptr, Waits{}) {}

AudioDeviceInterfaceReal::AudioDeviceInterfaceReal(
    std::shared_ptr<FirmwareUpdateProcedure> scsiTransfer,
    std::shared_ptr<FirmwareUpdateProcedure> fileCopy, Waits waits)
    : scsiTransfer_(std::move(scsiTransfer)), fileCopy_(std::move(fileCopy)), modeChange_(waits) {}

AudioDeviceInterfaceReal::~AudioDeviceInterfaceReal() = default;

ScsiOutcome AudioDeviceInterfaceReal::exchange(const AudioDevice& device,
                                               ScsiDataDirection direction, const ScsiCdb& command,
                                               std::span<uint8_t> data, uint32_t timeout) {
  const IOObject* driver = device.driverEntry.get();
  return sendScsiCommand(driver != nullptr ? &driver->registry() : nullptr,
                         driver != nullptr ? driver->dataPort() : 0, direction, command.rawBytes,
                         data, timeout > 0 ? std::optional(timeout) : std::nullopt);
}

uint32_t AudioDeviceInterfaceReal::executeCommand(const AudioDevice& device,
                                                  ScsiDataDirection direction,
                                                  const ScsiCdb& command, uint8_t* buffer,
                                                  uint32_t length, uint32_t timeout) {
  return exchange(device, direction, command, std::span(buffer, buffer != nullptr ? length : 0),
                  timeout)
      .result;
}

uint32_t AudioDeviceInterfaceReal::readItem(const AudioDevice& device, RecorderItem item,
                                            QByteArray& answer) {
  const RecorderItemInfo info = recorderItemInfo(item);
  log(QString::fromLatin1(info.logText));
  answer = QByteArray(static_cast<qsizetype>(info.bufferLength), '\0');
  return executeCommand(device, ScsiDataDirection::dataIn,
                        ScsiCdb::readRecorderItem(item, info.item.allocationLength),
                        reinterpret_cast<uint8_t*>(answer.data()), info.bufferLength);
}

uint32_t AudioDeviceInterfaceReal::readModelName(const AudioDevice& device,
                                                 std::optional<QString>& name) {
  QByteArray answer;
  const uint32_t status = readItem(device, RecorderItem::modelName, answer);
  if (status != 0) {
    name.reset();
    return status;
  }
  name = RecorderAnswers::modelName(answer);
  if (name) {
    log(QStringLiteral("ModelName=%1").arg(*name));
  }
  return status;
}

uint32_t AudioDeviceInterfaceReal::readFirmwareVersion(
    const AudioDevice& device, std::optional<RecorderFirmwareVersion>& version) {
  QByteArray answer;
  const uint32_t status = readItem(device, RecorderItem::firmwareVersion, answer);
  if (status != 0) {
    version.reset();
    return status;
  }
  const RecorderAnswers::FirmwareVersion decoded = RecorderAnswers::firmwareVersion(answer);
  version = decoded.version();
  if (decoded.mainCPU) {
    log(QStringLiteral("MainCPU=%1").arg(*decoded.mainCPU));
  }
  if (decoded.subCPU) {
    log(QStringLiteral("SubCPU=%1").arg(*decoded.subCPU));
  }
  log(QStringLiteral("MusicCodecFile=0x%1").arg(hex(decoded.musicCodecFile)));
  return status;
}

uint32_t AudioDeviceInterfaceReal::readSerialID(const AudioDevice& device,
                                                std::optional<QString>& serial) {
  QByteArray answer;
  const uint32_t status = readItem(device, RecorderItem::serialID, answer);
  if (status != 0) {
    serial.reset();
    return status;
  }
  serial = RecorderAnswers::serialID(answer);
  if (serial) {
    log(QStringLiteral("SerialID=%1").arg(*serial));
  }
  return status;
}

uint32_t AudioDeviceInterfaceReal::readDeviceID(const AudioDevice& device,
                                                std::optional<uint32_t>& deviceID) {
  QByteArray answer;
  const uint32_t status = readItem(device, RecorderItem::deviceID, answer);
  if (status != 0) {
    deviceID.reset();
    return status;
  }
  deviceID = RecorderAnswers::deviceID(answer);
  log(QStringLiteral("DeviceID=0x%1").arg(hex(*deviceID).rightJustified(8, QLatin1Char('0'))));
  return status;
}

uint32_t AudioDeviceInterfaceReal::readProductInformation(
    const AudioDevice& device, std::optional<std::vector<AudioProductInformation>>& list) {
  QByteArray answer;
  const uint32_t status = readItem(device, RecorderItem::productInformation, answer);
  if (status != 0) {
    return status;
  }
  log(QStringLiteral("NumOfDevices=%1").arg(productInformationCount(answer)));
  list = RecorderAnswers::productInformation(answer);
  return 0;
}

uint32_t AudioDeviceInterfaceReal::readDeviceStatus(const AudioDevice& device, uint8_t* buffer,
                                                    uint32_t length) {
  const RecorderItemInfo info = recorderItemInfo(RecorderItem::deviceStatus);
  log(QString::fromLatin1(info.logText));
  const uint32_t status = executeCommand(
      device, ScsiDataDirection::dataIn,
      ScsiCdb::readRecorderItem(RecorderItem::deviceStatus, info.item.allocationLength), buffer,
      length);
  if (status == 0 && Logger::shared().isLoggerEnabled()) {
    const QByteArray bytes(reinterpret_cast<const char*>(buffer),
                           std::min<qsizetype>(length, info.item.allocationLength));
    log(QStringLiteral("DeviceStatus=%1 ").arg(QString::fromLatin1(bytes.toHex(' ').toUpper())));
  }
  return status;
}

bool AudioDeviceInterfaceReal::requiresModeChange(const AudioDevice& device) {
  std::array<uint8_t, RecorderCommandLayout::kDeviceStatus.allocationLength> answer{};
  return readDeviceStatus(device, answer.data(), answer.size()) == 0 &&
         RecorderAnswers::needsModeChange(
             QByteArrayView(reinterpret_cast<const char*>(answer.data()), answer.size()));
}

std::optional<AudioDeviceError> AudioDeviceInterfaceReal::updateFirmware(AudioDevice& device,
                                                                         const QByteArray& firmware,
                                                                         const QString& fileName,
                                                                         const Progress& progress) {
  const auto& procedure =
      device.updateType == AudioDevice::UpdateType::scsiTransfer ? scsiTransfer_ : fileCopy_;
  if (procedure == nullptr) {
    return AudioDeviceError::deviceError(AudioDeviceErrorCode::kStepFailed);
  }
  return procedure->update(*this, device, firmware, fileName, progress);
}

std::optional<AudioDeviceError> AudioDeviceInterfaceReal::finishUpdate(AudioDevice& device,
                                                                       const QByteArray& firmware) {
  const auto& procedure =
      device.updateType == AudioDevice::UpdateType::scsiTransfer ? scsiTransfer_ : fileCopy_;
  if (procedure == nullptr) {
    return AudioDeviceError::deviceError(AudioDeviceErrorCode::kStepFailed);
  }
  return procedure->finish(*this, device, firmware);
}

void AudioDeviceInterfaceReal::switchRecorderMode(AudioDevice& device, SerialQueue& queue,
                                                  Completion completion) {
  const auto send = [this, &device] {
    const auto mode = RecorderMode::update;
    log(QStringLiteral("Send: RecorderModeChange: Mode=0x%1").arg(hex(static_cast<uint8_t>(mode))));
    return executeCommand(device, ScsiDataDirection::noData, ScsiCdb::recorderModeChange(mode),
                          nullptr, 0);
  };
  modeChange_.run(device, queue, send, completion);
}

void AudioDeviceInterfaceReal::unmountVolumes(const QList<QUrl>& volumes) const {
  RecorderVolumes::unmount(volumes, modeChange_.waits().unmount);
}
