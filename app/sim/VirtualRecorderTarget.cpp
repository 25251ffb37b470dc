#include "app/sim/VirtualRecorderTarget.h"

#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QSaveFile>

#include <algorithm>
#include <cstring>
#include <optional>
#include <thread>

namespace {

constexpr uint8_t kReadRecorderItem = 0xE0;
constexpr uint8_t kRecorderModeChange = 0xE2;
constexpr uint8_t kUpdateFirmware = 0xE4;
constexpr uint8_t kUpdateMode = 0x02;
constexpr uint32_t kLargestPiece = 65536;

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
  return uint32_t{bytes[at]} << 24U | uint32_t{bytes[at + 1]} << 16U |
         uint32_t{bytes[at + 2]} << 8U | uint32_t{bytes[at + 3]};
}

QString commandName(std::span<const uint8_t> cdb) {
  if (cdb.size() == 16 && cdb[0] == kReadRecorderItem) {
    return QStringLiteral("ReadRecorderItem");
  }
  if (cdb.size() == 16 && cdb[0] == kRecorderModeChange) {
    return QStringLiteral("RecorderModeChange");
  }
  if (cdb.size() == 16 && cdb[0] == kUpdateFirmware && cdb[1] <= 6) {
    return VirtualRecorderConfig::commandNames().at(2 + cdb[1]);
  }
  return {};
}

QByteArray utf16Entry(const QString& text) {
  // Length byte in code units, terminator included, then the text and a zero unit.
  QByteArray entry;
  entry.append(static_cast<char>(text.size() + 1));
  for (const QChar unit : text) {
    entry.append(static_cast<char>(unit.unicode() & 0xFFU));
    entry.append(static_cast<char>(unit.unicode() >> 8U));
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
  for (const VirtualRecorderFault& fault : config_.faults) {
    if (fault.kind == VirtualRecorderFault::Kind::latency) {
      std::this_thread::sleep_for(std::chrono::duration<double>(fault.seconds));
    }
  }
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
        record(task, QStringLiteral("GOOD"));
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
        record(task, QStringLiteral("CHECK CONDITION %1/%2/%3")
                         .arg(sense[2], 2, 16, QLatin1Char('0'))
                         .arg(sense[12], 2, 16, QLatin1Char('0'))
                         .arg(sense[13], 2, 16, QLatin1Char('0'))
                         .toUpper());
        break;
      }
      case Answer::Kind::vanished:
        task.setRealizedDataTransferCount(0);
        task.setTaskStatus(ScsiTaskStatus::kDeviceNotPresent);
        task.setServiceResponse(ScsiServiceResponse::serviceDeliveryOrTargetFailure);
        record(task, QStringLiteral("NO DEVICE"));
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
  const auto allocation = static_cast<qsizetype>(uint32_t{cdb[2]} << 8U | cdb[3]);
  QByteArray data;
  switch (cdb[1]) {
    case 0x00:
      data = config_.modelName.leftJustified(8, '\0', true);
      break;
    case 0x01:
      data = QByteArray(8, '\0');
      data[6] = static_cast<char>(config_.needsModeChange && !state_.updateMode ? 3 : 1);
      break;
    case 0x02: {
      data = state_.firmwareVersion.toUtf8().leftJustified(8, '\0', true);
      data.append(static_cast<char>(config_.musicCodecFile & 0xFFU));
      data.append(static_cast<char>(config_.musicCodecFile >> 8U));
      data.append(state_.subFirmwareVersion.toUtf8().leftJustified(8, '\0', true));
      break;
    }
    case 0x06: {
      const QByteArray serial = config_.serialNumber.toUtf8();
      data.append(static_cast<char>(serial.size()));
      data.append(serial);
      break;
    }
    case 0x0B:
      for (const int shift : {24, 16, 8, 0}) {
        data.append(static_cast<char>((config_.deviceId >> static_cast<unsigned>(shift)) & 0xFFU));
      }
      break;
    case 0x17: {
      const auto count = static_cast<uint32_t>(config_.productInformation.size());
      for (const int shift : {0, 8, 16, 24}) {
        data.append(static_cast<char>((count >> static_cast<unsigned>(shift)) & 0xFFU));
      }
      for (const QString& text : config_.productInformation) {
        data.append(utf16Entry(text));
      }
      break;
    }
    default:
      return Answer::check(kIllegalRequest, kInvalidField);
  }
  return Answer::good(data.left(allocation));
}

VirtualRecorderTarget::Answer VirtualRecorderTarget::recorderModeChange(const ScsiTask& task) {
  const std::span<const uint8_t> cdb = task.commandDescriptorBlock();
  constexpr std::array<uint8_t, 6> kModes{0x00, 0x01, 0x02, 0x04, 0x08, 0x10};
  if (task.dataTransferDirection() != ScsiDataTransferDirection::none ||
      std::find(kModes.begin(), kModes.end(), cdb[1]) == kModes.end() ||
      std::any_of(cdb.begin() + 2, cdb.end(), [](uint8_t byte) { return byte != 0; })) {
    return Answer::check(kIllegalRequest, kInvalidField);
  }
  if (cdb[1] != kUpdateMode) {
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
  const uint32_t first = be32(cdb, 2);
  const uint32_t second = be32(cdb, 6);
  const int processor = cdb[11];
  const bool reserved = cdb[10] != 0 || std::any_of(cdb.begin() + 12, cdb.end(),
                                                    [](uint8_t byte) { return byte != 0; });
  if (processor > 1 || reserved) {
    return Answer::check(kIllegalRequest, kInvalidField);
  }
  const auto direction = task.dataTransferDirection();
  const bool dataIn = direction == ScsiDataTransferDirection::fromTargetToInitiator;
  const bool dataOut = direction == ScsiDataTransferDirection::fromInitiatorToTarget;
  const bool noData = direction == ScsiDataTransferDirection::none;
  switch (cdb[1]) {
    case 0x00:
      return dataIn ? start(task, first, second, processor)
                    : Answer::check(kIllegalRequest, kInvalidField);
    case 0x01:
      return dataIn && first == 0 && second == 0 ? areYouReady(task, processor)
                                                 : Answer::check(kIllegalRequest, kInvalidField);
    case 0x02:
      return dataOut && second == 0 ? upload(task, first, processor)
                                    : Answer::check(kIllegalRequest, kInvalidField);
    case 0x03:
      return noData && first == 0 && second == 0 ? finish(processor)
                                                 : Answer::check(kIllegalRequest, kInvalidField);
    case 0x04:
      return noData ? verifyStart(first, second, processor)
                    : Answer::check(kIllegalRequest, kInvalidField);
    case 0x05:
      return dataIn && second == 0 ? verify(task, first, processor)
                                   : Answer::check(kIllegalRequest, kInvalidField);
    case 0x06:
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
  data[0] = static_cast<char>((count >> 8U) & 0xFFU);
  data[1] = static_cast<char>(count & 0xFFU);
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

void VirtualRecorderTarget::record(const ScsiTask& task, const QString& result) {
  if (transcript_ == nullptr) {
    return;
  }
  QByteArray line;
  const std::span<const uint8_t> cdb = task.commandDescriptorBlock();
  for (size_t i = 0; i < 16; ++i) {
    line.append(
        QByteArray::number(i < cdb.size() ? cdb[i] : 0, 16).rightJustified(2, '0').toUpper());
    line.append(' ');
  }
  switch (task.dataTransferDirection()) {
    case ScsiDataTransferDirection::none:
      line.append("none");
      break;
    case ScsiDataTransferDirection::fromTargetToInitiator:
      line.append("in");
      break;
    case ScsiDataTransferDirection::fromInitiatorToTarget:
      line.append("out");
      break;
  }
  line.append(' ');
  line.append(QByteArray::number(static_cast<qulonglong>(task.requestedDataTransferCount())));
  line.append(' ');
  line.append(result.toLatin1());
  line.append('\n');
  std::fwrite(line.constData(), 1, static_cast<size_t>(line.size()), transcript_);
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
