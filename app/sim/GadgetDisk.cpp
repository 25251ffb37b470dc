#include "app/sim/GadgetDisk.h"

#include "app/sim/VirtualRecorderConfig.h"
#include "driver/RecorderCommandLayout.h"

#include <QtEndian>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>

namespace {

namespace Layout = RecorderCommandLayout;

constexpr uint8_t kTestUnitReady = 0x00;
constexpr uint8_t kRequestSense = 0x03;
constexpr uint8_t kInquiry = 0x12;
constexpr uint8_t kModeSense6 = 0x1A;
constexpr uint8_t kStartStopUnit = 0x1B;
constexpr uint8_t kPreventAllowMediumRemoval = 0x1E;
constexpr uint8_t kReadCapacity10 = 0x25;
constexpr uint8_t kRead10 = 0x28;
constexpr uint8_t kWrite10 = 0x2A;
constexpr uint8_t kSynchronizeCache10 = 0x35;
constexpr uint8_t kModeSense10 = 0x5A;
constexpr uint8_t kRead16 = 0x88;
constexpr uint8_t kWrite16 = 0x8A;
constexpr uint8_t kSynchronizeCache16 = 0x91;
constexpr uint8_t kServiceActionIn16 = 0x9E;
constexpr uint8_t kReadCapacity16 = 0x10;  // its service action

constexpr uint8_t kMediumError = 0x03;
constexpr uint8_t kIllegalRequest = 0x05;
constexpr uint8_t kNotReady = 0x02;

constexpr uint8_t kCachingPage = 0x08;
constexpr uint8_t kAllPages = 0x3F;
constexpr size_t kCachingPageLength = 20;
constexpr size_t kStandardInquiryLength = 36;

// The command block length its operation code's group calls for.
size_t groupLength(uint8_t operationCode) {
  switch (operationCode >> 5) {
    case 0:
      return 6;
    case 4:
      return 16;
    case 5:
      return 12;
    default:
      return 10;
  }
}

uint16_t be16(std::span<const uint8_t> cdb, size_t at) {
  return qFromBigEndian<uint16_t>(&cdb[at]);
}
uint32_t be32(std::span<const uint8_t> cdb, size_t at) {
  return qFromBigEndian<uint32_t>(&cdb[at]);
}

// Copies up to the allocation length and the task's buffer; the rest is not sent.
void sendIn(ScsiTask& task, const QByteArray& data, uint64_t allocation) {
  const std::span<uint8_t> buffer = task.dataBuffer();
  const auto count = std::min<uint64_t>({static_cast<uint64_t>(data.size()), allocation,
                                         buffer.size(), task.requestedDataTransferCount()});
  std::memcpy(buffer.data(), data.constData(), count);
  task.setRealizedDataTransferCount(count);
}

// Fixed-format sense data; key 0 is NO SENSE.
std::array<uint8_t, ScsiTask::kSenseSize> fixedSense(uint8_t key = 0, uint8_t asc = 0,
                                                     uint8_t ascq = 0) {
  std::array<uint8_t, ScsiTask::kSenseSize> sense{};
  sense[0] = 0x70;
  sense[2] = key;
  sense[7] = ScsiTask::kSenseSize - 8;
  sense[12] = asc;
  sense[13] = ascq;
  return sense;
}

QByteArray padded(const QByteArray& text, qsizetype length) {
  return text.leftJustified(length, ' ', true);
}

}  // namespace

GadgetDisk::GadgetDisk(int imageFd, Identity identity, ScsiTarget& recorder,
                       std::function<void()> beforeUpdateFinish)
    : imageFd_(imageFd),
      identity_(std::move(identity)),
      recorder_(recorder),
      beforeUpdateFinish_(std::move(beforeUpdateFinish)) {
  struct stat status {};
  if (::fstat(imageFd_, &status) == 0) {
    blockCount_ = static_cast<uint64_t>(status.st_size) / kBlockSize;
  }
  pendingSense_ = fixedSense();
}

GadgetDisk::Identity GadgetDisk::identity(const VirtualRecorderConfig& config,
                                          const QString& firmwareLabel) {
  // constData() ends at the first zero byte of the padded model name.
  return {"VELMORA", QByteArray(config.modelName.constData()), firmwareLabel.right(4).toLatin1()};
}

bool GadgetDisk::isRecorderCommand(uint8_t operationCode) {
  return operationCode == Layout::kReadRecorderItem ||
         operationCode == Layout::kRecorderModeChange || operationCode == Layout::kUpdateFirmware;
}

std::optional<GadgetDisk::Transfer> GadgetDisk::intendedTransfer(std::span<const uint8_t> cdb) {
  using Direction = ScsiDataTransferDirection;
  if (cdb.empty()) {
    return Transfer{};
  }
  if (isRecorderCommand(cdb[0])) {
    return std::nullopt;
  }
  if (cdb.size() < groupLength(cdb[0])) {
    return Transfer{};
  }
  switch (cdb[0]) {
    case kRequestSense:
    case kModeSense6:
      return Transfer{Direction::fromTargetToInitiator, cdb[4]};
    case kInquiry:
      return Transfer{Direction::fromTargetToInitiator, be16(cdb, 3)};
    case kModeSense10:
      return Transfer{Direction::fromTargetToInitiator, be16(cdb, 7)};
    case kReadCapacity10:
      return Transfer{Direction::fromTargetToInitiator, 8};
    case kServiceActionIn16:
      return (cdb[1] & 0x1F) == kReadCapacity16
                 ? Transfer{Direction::fromTargetToInitiator, be32(cdb, 10)}
                 : Transfer{};
    case kRead10:
      return Transfer{Direction::fromTargetToInitiator, uint64_t{be16(cdb, 7)} * kBlockSize};
    case kRead16:
      return Transfer{Direction::fromTargetToInitiator, uint64_t{be32(cdb, 10)} * kBlockSize};
    case kWrite10:
      return Transfer{Direction::fromInitiatorToTarget, uint64_t{be16(cdb, 7)} * kBlockSize};
    case kWrite16:
      return Transfer{Direction::fromInitiatorToTarget, uint64_t{be32(cdb, 10)} * kBlockSize};
    default:
      return Transfer{};
  }
}

void GadgetDisk::execute(ScsiTask& task) {
  const std::span<const uint8_t> cdb = task.commandDescriptorBlock();
  if (!cdb.empty() && isRecorderCommand(cdb[0])) {
    passToRecorder(task);
    return;
  }
  task.setRealizedDataTransferCount(0);
  task.setServiceResponse(ScsiServiceResponse::taskComplete);
  const bool asksForSense = !cdb.empty() && cdb[0] == kRequestSense;
  const std::optional<Sense> failed = answer(task);
  const auto sense = failed ? fixedSense(failed->key, failed->asc, failed->ascq) : fixedSense();
  if (failed) {
    task.setRealizedDataTransferCount(0);
    task.setAutoSenseData(sense);
    task.setTaskStatus(ScsiTaskStatus::kCheckCondition);
  } else {
    task.setTaskStatus(ScsiTaskStatus::kGood);
  }
  if (failed || !asksForSense) {
    pendingSense_ = sense;
  }
}

std::optional<GadgetDisk::Sense> GadgetDisk::answer(ScsiTask& task) {
  const std::span<const uint8_t> cdb = task.commandDescriptorBlock();
  if (cdb.empty() || cdb.size() < groupLength(cdb[0])) {
    return Sense{kIllegalRequest, 0x20, 0};
  }
  switch (cdb[0]) {
    case kTestUnitReady:
    case kStartStopUnit:
    case kPreventAllowMediumRemoval:
      return std::nullopt;
    case kRequestSense:
      return requestSense(task);
    case kInquiry:
      return inquiry(task);
    case kModeSense6:
    case kModeSense10:
      return modeSense(task, cdb[0] == kModeSense10);
    case kReadCapacity10:
      return readCapacity(task, false);
    case kServiceActionIn16:
      return (cdb[1] & 0x1F) == kReadCapacity16 ? readCapacity(task, true)
                                                : Sense{kIllegalRequest, 0x24, 0};
    case kRead10:
    case kRead16:
    case kWrite10:
    case kWrite16:
      return readWrite(task, cdb[0] == kWrite10 || cdb[0] == kWrite16,
                       cdb[0] == kRead16 || cdb[0] == kWrite16);
    case kSynchronizeCache10:
    case kSynchronizeCache16:
      return synchronizeCache();
    default:
      return Sense{kIllegalRequest, 0x20, 0};  // invalid command operation code
  }
}

std::optional<GadgetDisk::Sense> GadgetDisk::inquiry(ScsiTask& task) const {
  const std::span<const uint8_t> cdb = task.commandDescriptorBlock();
  if ((cdb[1] & 0x03) != 0 || cdb[2] != 0) {
    return Sense{kIllegalRequest, 0x24, 0};  // no vital product data pages
  }
  QByteArray data(8, '\0');
  data[1] = static_cast<char>(0x80);  // removable medium
  data[2] = 0x04;
  data[3] = 0x02;
  data[4] = static_cast<char>(kStandardInquiryLength - 5);
  data +=
      padded(identity_.vendor, 8) + padded(identity_.product, 16) + padded(identity_.revision, 4);
  sendIn(task, data, be16(cdb, 3));
  return std::nullopt;
}

std::optional<GadgetDisk::Sense> GadgetDisk::requestSense(ScsiTask& task) {
  if ((task.commandDescriptorBlock()[1] & 0x01) != 0) {
    return Sense{kIllegalRequest, 0x24, 0};  // descriptor format is not offered
  }
  const QByteArray data(reinterpret_cast<const char*>(pendingSense_.data()),
                        static_cast<qsizetype>(pendingSense_.size()));
  sendIn(task, data, task.commandDescriptorBlock()[4]);
  pendingSense_ = fixedSense();
  return std::nullopt;
}

std::optional<GadgetDisk::Sense> GadgetDisk::readCapacity(ScsiTask& task, bool sixteen) const {
  const uint64_t last = blockCount_ == 0 ? 0 : blockCount_ - 1;
  QByteArray data(sixteen ? 32 : 8, '\0');
  if (sixteen) {
    qToBigEndian<uint64_t>(last, data.data());
    qToBigEndian<uint32_t>(kBlockSize, data.data() + 8);
  } else {
    qToBigEndian<uint32_t>(static_cast<uint32_t>(std::min<uint64_t>(last, 0xFFFFFFFF)),
                           data.data());
    qToBigEndian<uint32_t>(kBlockSize, data.data() + 4);
  }
  sendIn(task, data, intendedTransfer(task.commandDescriptorBlock())->length);
  return std::nullopt;
}

std::optional<GadgetDisk::Sense> GadgetDisk::modeSense(ScsiTask& task, bool ten) const {
  const std::span<const uint8_t> cdb = task.commandDescriptorBlock();
  const uint8_t page = cdb[2] & 0x3F;
  if (page != kCachingPage && page != kAllPages) {
    return Sense{kIllegalRequest, 0x24, 0};
  }
  // Header without block descriptors, not write-protected; the caching page says the
  // disk writes through, so the host sends no cache flushes it need not.
  QByteArray data(ten ? 8 : 4, '\0');
  QByteArray caching(kCachingPageLength, '\0');
  caching[0] = static_cast<char>(kCachingPage);
  caching[1] = static_cast<char>(kCachingPageLength - 2);
  data += caching;
  if (ten) {
    qToBigEndian<uint16_t>(static_cast<uint16_t>(data.size() - 2), data.data());
  } else {
    data[0] = static_cast<char>(data.size() - 1);
  }
  sendIn(task, data, intendedTransfer(cdb)->length);
  return std::nullopt;
}

std::optional<GadgetDisk::Sense> GadgetDisk::readWrite(ScsiTask& task, bool write,
                                                       bool sixteen) const {
  const std::span<const uint8_t> cdb = task.commandDescriptorBlock();
  const uint64_t lba = sixteen ? qFromBigEndian<uint64_t>(&cdb[2]) : be32(cdb, 2);
  const uint64_t blocks = sixteen ? be32(cdb, 10) : be16(cdb, 7);
  if (lba > blockCount_ || blocks > blockCount_ - lba) {
    return Sense{kIllegalRequest, 0x21, 0};  // logical block address out of range
  }
  const uint64_t length = blocks * kBlockSize;
  const std::span<uint8_t> buffer = task.dataBuffer();
  if (buffer.size() < length) {
    return Sense{kIllegalRequest, 0x24, 0};
  }
  uint64_t done = 0;
  while (done < length) {
    const auto offset = static_cast<off_t>(lba * kBlockSize + done);
    const ssize_t moved = write ? ::pwrite(imageFd_, buffer.data() + done, length - done, offset)
                                : ::pread(imageFd_, buffer.data() + done, length - done, offset);
    if (moved <= 0) {
      // Unrecovered read error, or write error.
      return Sense{kMediumError, static_cast<uint8_t>(write ? 0x0C : 0x11), 0};
    }
    done += static_cast<uint64_t>(moved);
  }
  task.setRealizedDataTransferCount(length);
  return std::nullopt;
}

std::optional<GadgetDisk::Sense> GadgetDisk::synchronizeCache() const {
  if (::fdatasync(imageFd_) != 0) {
    return Sense{kMediumError, 0x0C, 0};
  }
  return std::nullopt;
}

void GadgetDisk::passToRecorder(ScsiTask& task) {
  const std::span<const uint8_t> cdb = task.commandDescriptorBlock();
  if (beforeUpdateFinish_ && cdb[0] == Layout::kUpdateFirmware && cdb.size() > Layout::kStepAt &&
      cdb[Layout::kStepAt] == static_cast<uint8_t>(Layout::UpdateStep::finish)) {
    beforeUpdateFinish_();
  }
  recorder_.execute(task);
  if (task.serviceResponse() != ScsiServiceResponse::taskComplete) {
    // A recorder that is away answers as a disk without its medium.
    task.setAutoSenseData(fixedSense(kNotReady, 0x3A));  // medium not present
    task.setTaskStatus(ScsiTaskStatus::kCheckCondition);
    task.setServiceResponse(ScsiServiceResponse::taskComplete);
  }
  pendingSense_ =
      task.taskStatus() == ScsiTaskStatus::kCheckCondition ? task.autoSenseData() : fixedSense();
}
