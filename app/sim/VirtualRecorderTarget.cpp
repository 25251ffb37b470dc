#include "app/sim/VirtualRecorderTarget.h"

#include "driver/RecorderCommandLayout.h"
#include "driver/ScsiExchangeLog.h"

#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QSaveFile>
#include <QtEndian>

#include <algorithm>
#include <cstring>
#include <optional>
#include <thread>

namespace {

namespace Layout = RecorderCommandLayout;
using Layout::kLargestPiece;
using Layout::kReadRecorderItem;
using Layout::kRecorderModeChange;
using Layout::kUpdateFirmware;
using Step = Layout::UpdateStep;

// Sense keys and additional sense codes the recorder answers with.
constexpr uint8_t kNotReady = 0x02;
constexpr uint8_t kHardwareError = 0x04;
constexpr uint8_t kIllegalRequest = 0x05;
constexpr uint8_t kInvalidOpcode = 0x20;
constexpr uint8_t kOutOfRange = 0x21;
constexpr uint8_t kInvalidField = 0x24;
constexpr uint8_t kSequenceError = 0x2C;
constexpr uint8_t kBecomingReady = 0x04;
constexpr uint8_t kTargetFailure = 0x44;

uint32_t be32(std::span<const uint8_t> bytes, size_t at) {
  return qFromBigEndian<uint32_t>(bytes.subspan(at, 4).data());
}

QString commandName(std::span<const uint8_t> cdb) {
  if (cdb.size() == 16 && cdb[0] == kReadRecorderItem) {
    return QStringLiteral("ReadRecorderItem");
  }
  if (cdb.size() == 16 && cdb[0] == kRecorderModeChange) {
    return QStringLiteral("RecorderModeChange");
  }
  if (cdb.size() == 16 && cdb[0] == kUpdateFirmware &&
      cdb[Layout::kStepAt] <= Layout::kLastUpdateStep) {
    return VirtualRecorderConfig::commandNames().at(2 + cdb[Layout::kStepAt]);
  }
  return {};
}

QByteArray utf16Entry(const QString& text) {
  // Length byte in code units, terminator included, then the text and a zero unit.
  QByteArray entry;
  entry.append(static_cast<char>(text.size() + 1));
  for (const QChar unit : text) {
    std::array<char, 2> bytes{};
    qToLittleEndian<char16_t>(unit.unicode(), bytes.data());
    entry.append(bytes.data(), bytes.size());
  }
  entry.append(2, '\0');
  return entry;
}

QString flashPath(const QString& folder, int processor) {
  return QDir(folder).filePath(processor == 0 ? QStringLiteral("flash-dsp.bin")
                                              : QStringLiteral("flash-sub.bin"));
}

}  // namespace

struct VirtualRecorderTarget::Answer {
  enum class Kind { good, checkCondition, vanished } kind = Kind::good;
  QByteArray data;  // for data in
  uint8_t senseKey = 0;
  uint8_t asc = 0;
  std::optional<Event> event;

  static Answer good(QByteArray bytes = {}) { return {Kind::good, std::move(bytes), 0, 0, {}}; }
  static Answer check(uint8_t key, uint8_t code) {
    return {Kind::checkCondition, {}, key, code, {}};
  }
};

// An update in progress on one processor: the area announced by UpdateFirmwareStart and
// how far the preparation and the upload have come.
struct VirtualRecorderTarget::Session {
  int processor = 0;
  bool fileCopy = false;
  uint32_t firstBlocks = 0;
  uint32_t blocks = 0;
  uint64_t uploaded = 0;
  bool finished = false;
  std::optional<uint64_t> verifyOffset;
};

VirtualRecorderTarget::VirtualRecorderTarget(QString folder, VirtualRecorderConfig config,
                                             EventHandler onEvent)
    : folder_(std::move(folder)),
      config_(std::move(config)),
      onEvent_(std::move(onEvent)),
      state_(VirtualRecorderState::load(folder_, config_)) {
  const std::array<std::optional<FlashArea>, 2> areas{config_.dspArea, config_.subArea};
  for (int processor = 0; processor < 2; ++processor) {
    if (!areas.at(processor)) {
      continue;
    }
    auto& flash = flash_.at(processor);
    flash.assign(areas.at(processor)->length, 0xFF);
    QFile stored(flashPath(folder_, processor));
    if (stored.open(QIODevice::ReadOnly) && stored.size() == static_cast<qint64>(flash.size())) {
      stored.read(reinterpret_cast<char*>(flash.data()), stored.size());
    }
  }
  transcript_ = std::fopen(
      QDir(folder_).filePath(QStringLiteral("transcript.txt")).toLocal8Bit().constData(), "w");
  saveState();
}

VirtualRecorderTarget::~VirtualRecorderTarget() {
  if (transcript_ != nullptr) {
    std::fclose(transcript_);
  }
}

void VirtualRecorderTarget::setPresent(bool present) {
  const std::scoped_lock guard(mutex_);
  present_ = present;
  if (present) {
    session_.reset();
    restartAfterVerify_ = false;
  }
}

VirtualRecorderState VirtualRecorderTarget::state() const {
  const std::scoped_lock guard(mutex_);
  return state_;
}

void VirtualRecorderTarget::execute(ScsiTask& task) {
  std::chrono::duration<double> latency{0};
  for (const VirtualRecorderFault& fault : config_.faults) {
    if (fault.kind == VirtualRecorderFault::Kind::latency) {
      latency += std::chrono::duration<double>(fault.seconds);
    }
  }
  // A recorder slower than the command's time-out: the host gives up on the command, which
  // the recorder never carries out.
  const std::chrono::milliseconds timeout(task.timeoutDuration());
  if (timeout.count() > 0 && latency > timeout) {
    std::this_thread::sleep_for(timeout);
    task.setRealizedDataTransferCount(0);
    task.setTaskStatus(ScsiTaskStatus::kTaskTimeoutOccurred);
    task.setServiceResponse(ScsiServiceResponse::serviceDeliveryOrTargetFailure);
    const std::scoped_lock guard(mutex_);
    record(task);
    return;
  }
  std::this_thread::sleep_for(latency);
  std::optional<Event> event;
  {
    const std::scoped_lock guard(mutex_);
    const QString name = commandName(task.commandDescriptorBlock());
    std::optional<int64_t> vanishAfter;
    for (const VirtualRecorderFault& fault : config_.faults) {
      if (fault.kind == VirtualRecorderFault::Kind::vanish) {
        vanishAfter = fault.count;
      }
    }
    Answer answer;
    if (!present_ || (vanishAfter && answered_ >= *vanishAfter)) {
      answer.kind = Answer::Kind::vanished;
      if (present_) {
        present_ = false;
        answer.event = Event::vanished;
      }
    } else {
      received_[name] += 1;
      answer = injectCheckCondition(name) ? Answer::check(kHardwareError, kTargetFailure)
                                          : handle(task, name);
      answered_ += 1;
      if (vanishAfter && answered_ >= *vanishAfter) {
        present_ = false;
        answer.event = Event::vanished;
      } else if (answer.event) {
        present_ = false;
      }
    }
    switch (answer.kind) {
      case Answer::Kind::good: {
        const std::span<uint8_t> buffer = task.dataBuffer();
        uint64_t count = 0;
        if (task.dataTransferDirection() == ScsiDataTransferDirection::fromTargetToInitiator) {
          count = std::min<uint64_t>({static_cast<uint64_t>(answer.data.size()), buffer.size(),
                                      task.requestedDataTransferCount()});
          std::memcpy(buffer.data(), answer.data.constData(), count);
        } else if (task.dataTransferDirection() ==
                   ScsiDataTransferDirection::fromInitiatorToTarget) {
          count = task.requestedDataTransferCount();
        }
        task.setRealizedDataTransferCount(count);
        task.setTaskStatus(ScsiTaskStatus::kGood);
        task.setServiceResponse(ScsiServiceResponse::taskComplete);
        record(task);
        break;
      }
      case Answer::Kind::checkCondition: {
        std::array<uint8_t, ScsiTask::kSenseSize> sense{};
        sense[0] = 0x70;
        sense[2] = answer.senseKey;
        sense[7] = ScsiTask::kSenseSize - 8;
        sense[12] = answer.asc;
        sense[13] = answer.senseKey == kNotReady ? 0x01 : 0x00;
        task.setRealizedDataTransferCount(0);
        task.setAutoSenseData(sense);
        task.setTaskStatus(ScsiTaskStatus::kCheckCondition);
        task.setServiceResponse(ScsiServiceResponse::taskComplete);
        record(task);
        break;
      }
      case Answer::Kind::vanished:
        task.setRealizedDataTransferCount(0);
        task.setTaskStatus(ScsiTaskStatus::kDeviceNotPresent);
        task.setServiceResponse(ScsiServiceResponse::serviceDeliveryOrTargetFailure);
        record(task);
        break;
    }
    event = answer.event;
  }
  pace(task);
  if (event) {
    const std::scoped_lock guard(handlerMutex_);
    if (onEvent_) {
      onEvent_(*event);
    }
  }
}

void VirtualRecorderTarget::disconnect() {
  const std::scoped_lock guard(handlerMutex_);
  onEvent_ = nullptr;
}

bool VirtualRecorderTarget::injectCheckCondition(const QString& name) {
  for (const VirtualRecorderFault& fault : config_.faults) {
    if (fault.kind == VirtualRecorderFault::Kind::checkCondition && fault.command == name &&
        fault.count == received_[name]) {
      return true;
    }
  }
  return false;
}

VirtualRecorderTarget::Answer VirtualRecorderTarget::handle(ScsiTask& task, const QString& name) {
  if (name.isEmpty()) {
    return Answer::check(kIllegalRequest, kInvalidOpcode);
  }
  const std::span<const uint8_t> cdb = task.commandDescriptorBlock();
  if (cdb[0] == kReadRecorderItem) {
    return readRecorderItem(task);
  }
  if (cdb[0] == kRecorderModeChange) {
    return recorderModeChange(task);
  }
  return updateFirmware(task, name);
}

VirtualRecorderTarget::Answer VirtualRecorderTarget::readRecorderItem(ScsiTask& task) {
  const std::span<const uint8_t> cdb = task.commandDescriptorBlock();
  if (task.dataTransferDirection() != ScsiDataTransferDirection::fromTargetToInitiator ||
      std::any_of(cdb.begin() + 4, cdb.end(), [](uint8_t byte) { return byte != 0; })) {
    return Answer::check(kIllegalRequest, kInvalidField);
  }
  const auto allocation =
      static_cast<qsizetype>(qFromBigEndian<uint16_t>(&cdb[Layout::kAllocationLengthAt]));
  const uint8_t item = cdb[Layout::kItemCodeAt];
  QByteArray data;
  if (item == Layout::kModelName.code) {
    data = config_.modelName.leftJustified(Layout::kModelName.allocationLength, '\0', true);
  } else if (item == Layout::kDeviceStatus.code) {
    data = QByteArray(Layout::kDeviceStatus.allocationLength, '\0');
    data[Layout::kModeByteAt] = static_cast<char>(
        config_.needsModeChange && !state_.updateMode ? Layout::kNeedsModeChange : 1);
  } else if (item == Layout::kFirmwareVersion.code) {
    data = state_.firmwareVersion.toUtf8().leftJustified(Layout::kLabelLength, '\0', true);
    std::array<char, 2> codec{};
    qToLittleEndian<uint16_t>(static_cast<uint16_t>(config_.musicCodecFile), codec.data());
    data.append(codec.data(), codec.size());
    data.append(state_.subFirmwareVersion.toUtf8().leftJustified(Layout::kLabelLength, '\0', true));
  } else if (item == Layout::kSerialID.code) {
    const QByteArray serial = config_.serialNumber.toUtf8();
    data.append(static_cast<char>(serial.size()));
    data.append(serial);
  } else if (item == Layout::kDeviceID.code) {
    data = QByteArray(4, '\0');
    qToBigEndian<uint32_t>(static_cast<uint32_t>(config_.deviceId), data.data());
  } else if (item == Layout::kProductInformation.code) {
    data = QByteArray(Layout::kCountLength, '\0');
    qToLittleEndian<uint32_t>(static_cast<uint32_t>(config_.productInformation.size()),
                              data.data());
    for (const QString& text : config_.productInformation) {
      data.append(utf16Entry(text));
    }
  } else {
    return Answer::check(kIllegalRequest, kInvalidField);
  }
  return Answer::good(data.left(allocation));
}

VirtualRecorderTarget::Answer VirtualRecorderTarget::recorderModeChange(const ScsiTask& task) {
  const std::span<const uint8_t> cdb = task.commandDescriptorBlock();
  const uint8_t mode = cdb[Layout::kModeAt];
  if (task.dataTransferDirection() != ScsiDataTransferDirection::none ||
      std::find(Layout::kModes.begin(), Layout::kModes.end(), mode) == Layout::kModes.end() ||
      std::any_of(cdb.begin() + 2, cdb.end(), [](uint8_t byte) { return byte != 0; })) {
    return Answer::check(kIllegalRequest, kInvalidField);
  }
  if (mode != Layout::kUpdateMode) {
    return Answer::good();
  }
  state_.updateMode = true;
  saveState();
  Answer answer = Answer::good();
  answer.event = Event::modeChanged;
  return answer;
}

VirtualRecorderTarget::Answer VirtualRecorderTarget::updateFirmware(ScsiTask& task,
                                                                    const QString& name) {
  const std::span<const uint8_t> cdb = task.commandDescriptorBlock();
  const uint32_t first = be32(cdb, Layout::kFirstNumberAt);
  const uint32_t second = be32(cdb, Layout::kSecondNumberAt);
  const int processor = cdb[Layout::kProcessorAt];
  const bool reserved = cdb[10] != 0 || std::any_of(cdb.begin() + 12, cdb.end(),
                                                    [](uint8_t byte) { return byte != 0; });
  if (processor > 1 || reserved) {
    return Answer::check(kIllegalRequest, kInvalidField);
  }
  const auto direction = task.dataTransferDirection();
  const bool dataIn = direction == ScsiDataTransferDirection::fromTargetToInitiator;
  const bool dataOut = direction == ScsiDataTransferDirection::fromInitiatorToTarget;
  const bool noData = direction == ScsiDataTransferDirection::none;
  switch (static_cast<Step>(cdb[Layout::kStepAt])) {
    case Step::start:
      return dataIn ? start(task, first, second, processor)
                    : Answer::check(kIllegalRequest, kInvalidField);
    case Step::areYouReady:
      return dataIn && first == 0 && second == 0 ? areYouReady(task, processor)
                                                 : Answer::check(kIllegalRequest, kInvalidField);
    case Step::uploadFirmware:
      return dataOut && second == 0 ? upload(task, first, processor)
                                    : Answer::check(kIllegalRequest, kInvalidField);
    case Step::finish:
      return noData && first == 0 && second == 0 ? finish(processor)
                                                 : Answer::check(kIllegalRequest, kInvalidField);
    case Step::verifyStart:
      return noData ? verifyStart(first, second, processor)
                    : Answer::check(kIllegalRequest, kInvalidField);
    case Step::verify:
      return dataIn && second == 0 ? verify(task, first, processor)
                                   : Answer::check(kIllegalRequest, kInvalidField);
    case Step::verifyFinish:
      return noData && first == 0 && second == 0 ? verifyFinish(processor)
                                                 : Answer::check(kIllegalRequest, kInvalidField);
    default:
      Q_UNUSED(name);
      return Answer::check(kIllegalRequest, kInvalidOpcode);
  }
}

namespace {

QByteArray blockCount(uint32_t count) {
  QByteArray data(2, '\0');
  qToBigEndian<uint16_t>(static_cast<uint16_t>(count), data.data());
  return data;
}

}  // namespace

VirtualRecorderTarget::Answer VirtualRecorderTarget::start(ScsiTask& /*task*/, uint32_t address,
                                                           uint32_t length, int processor) {
  const bool hasFlash = config_.dspArea || config_.subArea;
  session_ = std::make_unique<Session>();
  session_->processor = processor;
  if (address == 0 && length == 0 && !hasFlash) {
    // A recorder updated by file copy: it takes what lies in System/Update at the finish.
    session_->fileCopy = true;
    return Answer::good(blockCount(0));
  }
  const std::optional<FlashArea>& area = processor == 0 ? config_.dspArea : config_.subArea;
  if (!area || area->address != address || area->length != length) {
    session_.reset();
    return Answer::check(kIllegalRequest, kInvalidField);
  }
  std::fill(flash_.at(processor).begin(), flash_.at(processor).end(), 0xFF);
  session_->firstBlocks = config_.prepareBlocks;
  session_->blocks = config_.prepareBlocks;
  return Answer::good(blockCount(session_->blocks));
}

VirtualRecorderTarget::Answer VirtualRecorderTarget::areYouReady(ScsiTask& /*task*/,
                                                                 int processor) {
  if (!session_ || session_->fileCopy || session_->processor != processor) {
    return Answer::check(kIllegalRequest, kSequenceError);
  }
  const bool rising = std::any_of(config_.faults.begin(), config_.faults.end(), [](const auto& f) {
    return f.kind == VirtualRecorderFault::Kind::risingBlockCount;
  });
  if (rising) {
    return Answer::good(blockCount(session_->firstBlocks + 1));
  }
  session_->blocks = session_->blocks > 0 ? session_->blocks - 1 : 0;
  return Answer::good(blockCount(session_->blocks));
}

VirtualRecorderTarget::Answer VirtualRecorderTarget::upload(const ScsiTask& task, uint32_t length,
                                                            int processor) {
  if (!session_ || session_->fileCopy || session_->processor != processor || session_->finished) {
    return Answer::check(kIllegalRequest, kSequenceError);
  }
  if (session_->blocks > 0) {
    return Answer::check(kNotReady, kBecomingReady);
  }
  if (length == 0 || length > kLargestPiece || task.requestedDataTransferCount() != length ||
      task.dataBuffer().size() < length) {
    return Answer::check(kIllegalRequest, kInvalidField);
  }
  std::vector<uint8_t>& flash = flash_.at(processor);
  if (session_->uploaded + length > flash.size()) {
    return Answer::check(kIllegalRequest, kOutOfRange);
  }
  std::memcpy(flash.data() + session_->uploaded, task.dataBuffer().data(), length);
  session_->uploaded += length;
  return Answer::good();
}

VirtualRecorderTarget::Answer VirtualRecorderTarget::finish(int processor) {
  for (const VirtualRecorderFault& fault : config_.faults) {
    if (fault.kind == VirtualRecorderFault::Kind::refuseFinish && finishRefusals_ < fault.count) {
      finishRefusals_ += 1;
      return Answer::check(kHardwareError, kTargetFailure);
    }
  }
  if (!session_ || session_->processor != processor || session_->finished) {
    return Answer::check(kIllegalRequest, kSequenceError);
  }
  if (session_->fileCopy) {
    return applyFileCopy();
  }
  if (session_->blocks > 0 || session_->uploaded == 0) {
    return Answer::check(kIllegalRequest, kSequenceError);
  }
  session_->finished = true;
  saveFlash(processor);
  (processor == 0 ? state_.firmwareVersion : state_.subFirmwareVersion) =
      config_.firmwareVersionAfterUpdate;
  state_.applied.append(QVariantMap{
      {QStringLiteral("kind"), QStringLiteral("scsiTransfer")},
      {QStringLiteral("processor"), processor == 0 ? QStringLiteral("dsp") : QStringLiteral("sub")},
      {QStringLiteral("bytes"), static_cast<qint64>(session_->uploaded)},
      {QStringLiteral("firmwareVersion"), config_.firmwareVersionAfterUpdate},
      {QStringLiteral("date"), QDateTime::currentDateTimeUtc()},
  });
  saveState();
  // The recorder restarts with the new firmware once the host has read it back.
  restartAfterVerify_ = true;
  return Answer::good();
}

VirtualRecorderTarget::Answer VirtualRecorderTarget::applyFileCopy() {
  const QDir update(QDir(folder_).filePath(QStringLiteral("volume1/System/Update")));
  QVariantList files;
  QDirIterator it(update.path(), QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
  while (it.hasNext()) {
    it.next();
    files.append(QVariantMap{{QStringLiteral("name"), update.relativeFilePath(it.filePath())},
                             {QStringLiteral("bytes"), it.fileInfo().size()}});
  }
  if (files.isEmpty()) {
    // Nothing to apply: a careful recorder refuses rather than restarting for nothing.
    return Answer::check(kIllegalRequest, kSequenceError);
  }
  std::sort(files.begin(), files.end(), [](const QVariant& a, const QVariant& b) {
    return a.toMap().value(QStringLiteral("name")).toString() <
           b.toMap().value(QStringLiteral("name")).toString();
  });
  session_.reset();
  state_.firmwareVersion = config_.firmwareVersionAfterUpdate;
  state_.updateMode = false;
  state_.applied.append(QVariantMap{
      {QStringLiteral("kind"), QStringLiteral("fileCopy")},
      {QStringLiteral("files"), files},
      {QStringLiteral("firmwareVersion"), config_.firmwareVersionAfterUpdate},
      {QStringLiteral("date"), QDateTime::currentDateTimeUtc()},
  });
  saveState();
  Answer answer = Answer::good();
  answer.event = Event::updateApplied;
  return answer;
}

VirtualRecorderTarget::Answer VirtualRecorderTarget::verifyStart(uint32_t address, uint32_t length,
                                                                 int processor) {
  const std::optional<FlashArea>& area = processor == 0 ? config_.dspArea : config_.subArea;
  if (!area || area->address != address || area->length != length) {
    return Answer::check(kIllegalRequest, kInvalidField);
  }
  if (!session_ || session_->processor != processor) {
    session_ = std::make_unique<Session>();
    session_->processor = processor;
    session_->finished = true;
  }
  session_->verifyOffset = 0;
  return Answer::good();
}

VirtualRecorderTarget::Answer VirtualRecorderTarget::verify(ScsiTask& task, uint32_t length,
                                                            int processor) {
  if (!session_ || session_->processor != processor || !session_->verifyOffset) {
    return Answer::check(kIllegalRequest, kSequenceError);
  }
  const std::vector<uint8_t>& flash = flash_.at(processor);
  const uint64_t offset = *session_->verifyOffset;
  if (length == 0 || length > kLargestPiece || task.requestedDataTransferCount() < length) {
    return Answer::check(kIllegalRequest, kInvalidField);
  }
  if (offset >= flash.size()) {
    return Answer::check(kIllegalRequest, kOutOfRange);
  }
  const uint64_t available = std::min<uint64_t>(length, flash.size() - offset);
  QByteArray data(static_cast<qsizetype>(length), '\0');
  std::memcpy(data.data(), flash.data() + offset, available);
  for (const VirtualRecorderFault& fault : config_.faults) {
    const auto at = static_cast<uint64_t>(fault.offset);
    if (fault.kind == VirtualRecorderFault::Kind::verifyMismatch && at >= offset &&
        at < offset + available) {
      data[static_cast<qsizetype>(at - offset)] =
          static_cast<char>(~data[static_cast<qsizetype>(at - offset)]);
    }
  }
  session_->verifyOffset = offset + available;
  return Answer::good(data);
}

VirtualRecorderTarget::Answer VirtualRecorderTarget::verifyFinish(int processor) {
  if (!session_ || session_->processor != processor || !session_->verifyOffset) {
    return Answer::check(kIllegalRequest, kSequenceError);
  }
  session_.reset();
  Answer answer = Answer::good();
  if (restartAfterVerify_) {
    restartAfterVerify_ = false;
    state_.updateMode = false;
    saveState();
    answer.event = Event::updateApplied;
  }
  return answer;
}

void VirtualRecorderTarget::pace(const ScsiTask& task) {
  const uint64_t bytes = task.realizedDataTransferCount();
  for (const VirtualRecorderFault& fault : config_.faults) {
    if (fault.kind != VirtualRecorderFault::Kind::rate || bytes == 0) {
      continue;
    }
    // Paced against a running clock, so that the oversleeping of many short waits does not
    // add up; a clock left behind by a pause between commands starts again from now.
    const auto now = std::chrono::steady_clock::now();
    if (now - dataPhaseFree_ > std::chrono::milliseconds(100)) {
      dataPhaseFree_ = now;
    }
    dataPhaseFree_ += std::chrono::duration_cast<std::chrono::steady_clock::duration>(
        std::chrono::duration<double>(static_cast<double>(bytes) / fault.bytesPerSecond));
    std::this_thread::sleep_until(dataPhaseFree_);
  }
}

void VirtualRecorderTarget::record(const ScsiTask& task) {
  if (transcript_ == nullptr) {
    return;
  }
  const std::string line = ScsiExchangeLog::transcriptLine(task) + '\n';
  std::fwrite(line.data(), 1, line.size(), transcript_);
  std::fflush(transcript_);
}

void VirtualRecorderTarget::saveFlash(int processor) const {
  QSaveFile file(flashPath(folder_, processor));
  const std::vector<uint8_t>& flash = flash_.at(processor);
  if (file.open(QIODevice::WriteOnly)) {
    file.write(reinterpret_cast<const char*>(flash.data()), static_cast<qint64>(flash.size()));
    file.commit();
  }
}

void VirtualRecorderTarget::saveState() const { state_.save(folder_); }
