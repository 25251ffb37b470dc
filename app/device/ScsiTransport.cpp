#include "app/device/ScsiTransport.h"

#include "app/core/Logger.h"
#include "driver/KvonExSCSIIOStruct.h"
#include "driver/ScsiExchangeLog.h"

#include <QByteArray>

#include <algorithm>
#include <cstring>

namespace {

QString hex(uint64_t value) { return QString::number(value, 16).toUpper(); }

QString commandText(std::span<const uint8_t> command) {
  return QString::fromLatin1(QByteArray::fromRawData(reinterpret_cast<const char*>(command.data()),
                                                     static_cast<qsizetype>(command.size()))
                                 .toHex(' ')
                                 .toUpper());
}

ScsiOutcome send(Registry& registry, uint32_t connection, ScsiDataDirection direction,
                 std::span<const uint8_t> command, std::span<uint8_t> data,
                 std::optional<uint32_t> timeout) {
  ScsiOutcome outcome;
  KvonExSCSIIOStructT record;
  record.request.direction = static_cast<uint32_t>(direction);
  record.request.commandLength = static_cast<uint32_t>(command.size());
  std::copy_n(command.begin(), std::min(command.size(), record.request.commandBlock.size()),
              record.request.commandBlock.begin());
  record.request.dataLength = data.size();
  record.request.dataAddress = data.empty() ? 0 : reinterpret_cast<uintptr_t>(data.data());
  record.request.senseLength = outcome.sense.size();
  record.request.senseAddress = reinterpret_cast<uintptr_t>(outcome.sense.data());
  record.timeout = timeout.value_or(0);
  const uint32_t selector =
      timeout ? KvonRecord::kSelectorExecuteT64 : KvonRecord::kSelectorExecute64;
  uint32_t size = 0;
  const auto bytes = KvonRecord::encode(selector, record, false, &size);
  // The driver writes the SCSI status here; a call refused before it reads as no status.
  std::array<uint8_t, KvonRecord::kStatusSize> output{};
  std::memcpy(output.data(), &outcome.status, output.size());
  size_t outputSize = output.size();
  // The buffers are lent for this call only: the driver may use nothing else.
  const std::array<ClientBuffer, 2> lent{
      ClientBuffer::of(data.data(), data.size()),
      ClientBuffer::of(outcome.sense.data(), outcome.sense.size())};
  outcome.result = registry.callStructMethod(connection, selector, std::span(bytes->data(), size),
                                             output.data(), &outputSize, lent);
  std::memcpy(&outcome.status, output.data(), output.size());
  // The driver reports a command that it could not deliver, or that the recorder ended with
  // a status other than GOOD or CHECK CONDITION, through the status while the call itself
  // succeeds. Such a command has not completed.
  if (outcome.result == kIOReturnSuccess && outcome.status != ScsiTaskStatus::kGood) {
    outcome.result = undeliveredResult(outcome.status);
  }
  return outcome;
}

}  // namespace

uint32_t undeliveredResult(uint32_t status) {
  switch (status) {
    case ScsiTaskStatus::kTaskTimeoutOccurred:
      return kIOReturnTimeout;
    case ScsiTaskStatus::kDeviceNotPresent:
      // As when the recorder's connection is already gone: it went away during the command.
      return kIOReturnInvalidConnection;
    default:
      return kIOReturnIOError;
  }
}

QString ScsiOutcome::senseText() const {
  return QString::fromStdString(ScsiExchangeLog::senseText(sense));
}

ScsiOutcome sendScsiCommand(Registry* registry, uint32_t connection, ScsiDataDirection direction,
                            std::span<const uint8_t> command, std::span<uint8_t> data,
                            std::optional<uint32_t> timeout) {
  Logger& logger = Logger::shared();
  if (logger.isLoggerEnabled()) {
    const QString line = QStringLiteral("Execute Command: CDB=(%1), DataSize=%2")
                             .arg(commandText(command))
                             .arg(data.size());
    logger.log(timeout ? line + QStringLiteral(", Timeout=%1").arg(*timeout) : line);
  }
  ScsiOutcome outcome;
  if (registry != nullptr && connection != 0) {
    outcome = send(*registry, connection, direction, command, data, timeout);
  }
  if (logger.isLoggerEnabled()) {
    logger.log(QStringLiteral("Execute Command: Status=0x%1").arg(hex(outcome.result)));
    if (outcome.result != 0 && outcome.status != ScsiTaskStatus::kNoStatus) {
      const QString sense = outcome.senseText();
      logger.log(QStringLiteral("Execute Command: SCSIStatus=0x%1%2")
                     .arg(hex(outcome.status),
                          sense.isEmpty() ? QString() : QStringLiteral(", Sense=") + sense));
    }
  }
  return outcome;
}
