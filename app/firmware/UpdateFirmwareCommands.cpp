#include "app/firmware/UpdateFirmwareCommands.h"

#include "app/core/Logger.h"
#include "app/device/AudioDeviceInterfaceReal.h"
#include "app/device/RecorderAnswers.h"

#include <algorithm>
#include <vector>

namespace {

QString hex(uint64_t value) { return QStringLiteral("0x") + QString::number(value, 16).toUpper(); }

void log(const QString& line) { Logger::shared().log(line); }

}  // namespace

UpdateFirmwareCommands::UpdateFirmwareCommands(AudioDeviceInterfaceReal& interface,
                                               const AudioDevice& device)
    : interface_(interface), device_(device), processor_(processorByte(device.targetProcessor)) {}

UpdateFirmwareCommands::BlockCountAnswer UpdateFirmwareCommands::start(uint32_t address,
                                                                       uint32_t length) {
  log(QStringLiteral("Send: UpdateFirmwareStart: Address=%1, Length=%2, Processor=%3")
          .arg(hex(address), hex(length), hex(processor_)));
  return sendForBlockCount(ScsiCdb::updateFirmwareStart(address, length, processor_));
}

UpdateFirmwareCommands::BlockCountAnswer UpdateFirmwareCommands::areYouReady() {
  log(QStringLiteral("Send: UpdateFirmwareAreYouReady: Processor=%1").arg(hex(processor_)));
  return sendForBlockCount(ScsiCdb::updateFirmwareAreYouReady(processor_));
}

UpdateFirmwareCommands::BlockCountAnswer UpdateFirmwareCommands::sendForBlockCount(
    const ScsiCdb& command) {
  std::vector<uint8_t> answer(AudioDeviceInterfaceReal::dataBufferLength, 0);
  BlockCountAnswer result;
  result.status = interface_.executeCommand(device_, ScsiDataDirection::dataIn, command,
                                            answer.data(), static_cast<uint32_t>(answer.size()));
  if (result.status == 0) {
    result.blockCount = RecorderAnswers::blockCount(answer);
    log(QStringLiteral("BlockCount=%1").arg(hex(result.blockCount)));
  }
  return result;
}

uint32_t UpdateFirmwareCommands::upload(std::span<uint8_t> piece) {
  const auto length = static_cast<uint32_t>(piece.size());
  log(QStringLiteral("Send: UpdateFirmwareUploadFirmware: Length=%1, Processor=%2")
          .arg(hex(length), hex(processor_)));
  return interface_.executeCommand(device_, ScsiDataDirection::dataOut,
                                   ScsiCdb::updateFirmwareUploadFirmware(length, processor_),
                                   piece.data(), length);
}

uint32_t UpdateFirmwareCommands::finish() {
  log(QStringLiteral("Send: UpdateFirmwareFinish: Processor=%1").arg(hex(processor_)));
  return interface_.executeCommand(device_, ScsiDataDirection::noData,
                                   ScsiCdb::updateFirmwareFinish(processor_), nullptr, 0,
                                   AudioDeviceInterfaceReal::kFinishTimeout);
}

uint32_t UpdateFirmwareCommands::verifyStart(uint32_t address, uint32_t length) {
  log(QStringLiteral("Send: UpdateFirmwareVerifyStart: Address=%1, Length=%2, Processor=%3")
          .arg(hex(address), hex(length), hex(processor_)));
  return interface_.executeCommand(device_, ScsiDataDirection::noData,
                                   ScsiCdb::updateFirmwareVerifyStart(address, length, processor_),
                                   nullptr, 0);
}

uint32_t UpdateFirmwareCommands::verify(std::span<uint8_t> buffer, uint32_t length) {
  log(QStringLiteral("Send: UpdateFirmwareVerify: Length=%1, Processor=%2")
          .arg(hex(length), hex(processor_)));
  return interface_.executeCommand(device_, ScsiDataDirection::dataIn,
                                   ScsiCdb::updateFirmwareVerify(length, processor_), buffer.data(),
                                   static_cast<uint32_t>(std::min<size_t>(length, buffer.size())));
}

uint32_t UpdateFirmwareCommands::verifyFinish() {
  log(QStringLiteral("Send: UpdateFirmwareVerifyFinish: Processor=%1").arg(hex(processor_)));
  return interface_.executeCommand(device_, ScsiDataDirection::noData,
                                   ScsiCdb::updateFirmwareVerifyFinish(processor_), nullptr, 0);
}
