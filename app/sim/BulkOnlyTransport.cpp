#include "app/sim/BulkOnlyTransport.h"

#include "app/sim/GadgetDisk.h"

#include <QtEndian>

#include <algorithm>

namespace {

constexpr uint32_t kCommandSignature = 0x43425355;  // "USBC"
constexpr uint32_t kStatusSignature = 0x53425355;   // "USBS"
constexpr uint8_t kDataInFlag = 0x80;

// The command block padded to the nearest length a SCSI task takes.
std::vector<uint8_t> taskBlock(const std::vector<uint8_t>& cdb) {
  for (const size_t length : {6, 10, 12, 16}) {
    if (cdb.size() <= length) {
      std::vector<uint8_t> block(cdb);
      block.resize(length, 0);
      return block;
    }
  }
  return cdb;
}

}  // namespace

std::optional<BulkOnlyTransport::Command> BulkOnlyTransport::parse(std::span<const uint8_t> bytes) {
  if (bytes.size() != kCommandLength ||
      qFromLittleEndian<uint32_t>(bytes.data()) != kCommandSignature) {
    return std::nullopt;
  }
  const uint8_t flags = bytes[12];
  const uint8_t lun = bytes[13];
  const uint8_t length = bytes[14];
  if ((flags & ~kDataInFlag) != 0 || lun != 0 || length == 0 || length > 16) {
    return std::nullopt;
  }
  Command command;
  command.tag = qFromLittleEndian<uint32_t>(&bytes[4]);
  command.dataTransferLength = qFromLittleEndian<uint32_t>(&bytes[8]);
  command.dataIn = (flags & kDataInFlag) != 0;
  command.cdb.assign(bytes.begin() + 15, bytes.begin() + 15 + length);
  return command;
}

std::array<uint8_t, BulkOnlyTransport::kStatusLength> BulkOnlyTransport::statusWrapper(
    uint32_t tag, uint32_t residue, Status status) {
  std::array<uint8_t, kStatusLength> bytes{};
  qToLittleEndian<uint32_t>(kStatusSignature, bytes.data());
  qToLittleEndian<uint32_t>(tag, &bytes[4]);
  qToLittleEndian<uint32_t>(residue, &bytes[8]);
  bytes[12] = static_cast<uint8_t>(status);
  return bytes;
}

BulkOnlyTransport::Reply BulkOnlyTransport::answer(const Command& command,
                                                   std::span<uint8_t> dataOut) {
  using Direction = ScsiDataTransferDirection;
  const uint32_t expected = command.dataTransferLength;
  const Direction host = expected == 0    ? Direction::none
                         : command.dataIn ? Direction::fromTargetToInitiator
                                          : Direction::fromInitiatorToTarget;
  GadgetDisk::Transfer intended =
      GadgetDisk::intendedTransfer(command.cdb).value_or(GadgetDisk::Transfer{host, expected});
  if (intended.length == 0) {
    intended.direction = Direction::none;
  }
  Reply reply;
  const bool phaseError = (host != intended.direction && intended.direction != Direction::none) ||
                          intended.length > kLargestDataPhase ||
                          (host == Direction::fromInitiatorToTarget &&
                           (intended.length > expected || dataOut.size() != expected));
  if (phaseError) {
    reply.haltIn = host == Direction::fromTargetToInitiator;
    reply.status = statusWrapper(command.tag, expected, Status::phaseError);
    return reply;
  }

  ScsiTask task;
  task.setCommandDescriptorBlock(taskBlock(command.cdb));
  task.setDataTransferDirection(intended.direction);
  task.setRequestedDataTransferCount(intended.length);
  std::vector<uint8_t> dataIn;
  if (intended.direction == Direction::fromTargetToInitiator) {
    dataIn.resize(intended.length);
    task.setDataBuffer(dataIn);
  } else if (intended.direction == Direction::fromInitiatorToTarget) {
    task.setDataBuffer(dataOut.first(intended.length));
  }
  disk_.execute(task);

  Status status = task.taskStatus() == ScsiTaskStatus::kGood ? Status::passed : Status::failed;
  uint64_t moved = task.realizedDataTransferCount();
  if (host == Direction::fromTargetToInitiator) {
    if (moved > expected) {
      // The unit has more to say than the host takes: it sends what fits.
      status = Status::phaseError;
      moved = expected;
    }
    dataIn.resize(moved);
    reply.dataIn = std::move(dataIn);
    reply.haltIn = moved < expected;
  }
  if (host == Direction::fromInitiatorToTarget && status != Status::passed) {
    moved = 0;
  }
  const uint32_t residue = host == Direction::none ? 0 : expected - static_cast<uint32_t>(moved);
  reply.status = statusWrapper(command.tag, status == Status::phaseError ? 0 : residue, status);
  return reply;
}
