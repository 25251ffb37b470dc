// The two update procedures against the virtual recorder (and, for polling the recorder
// does not imitate, a scripted target): what reaches the recorder, the volume and the log.
#include "app/firmware/FileCopyProcedure.h"
#include "app/firmware/LocalFileManager.h"
#include "app/firmware/ScsiTransferProcedure.h"
#include "tests/device/AttachedRecorderFixture.h"
#include "tests/driver/ScriptedTarget.h"
#include "tests/firmware/ArchiveTools.h"
#include "tests/firmware/FailingFileManager.h"
#include "tests/support/QStringPrinter.h"
#include "tests/support/TestController.h"
#include "tests/support/ToolProcess.h"

#include <QFileInfo>
#include <QRegularExpression>

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;

namespace {

const QString kExampleZip = exampleFile(u"file-copy-two-volumes"_s, u"firmware.zip"_s);
constexpr uint32_t kAddress = 0x40000;
constexpr uint32_t kLength = 0x30000;
const std::optional<AudioDeviceError> kIOError =
    AudioDeviceError::deviceError(static_cast<int32_t>(kIOReturnIOError));

QVariantList fault(const QString& kind, const QVariantMap& parameters = {}) {
  QVariantMap map = parameters;
  map.insert(u"kind"_s, kind);
  return {map};
}

// A virtual recorder attached as detection would find it, the procedures called directly,
// and a record of the commands it received, the log and the progress reports.
class ProcedureTest : public AttachedRecorderFixture {
 protected:
  void attachFileCopy(const QVariantList& freeBytes, const QVariantList& faults = {}) {
    QVariantList volumes;
    for (const QVariant& bytes : freeBytes) {
      volumes << QVariantMap{{u"freeBytes"_s, bytes}};
    }
    // The example recorder that comes with the example package.
    QVariantMap config = PropertyList::readDictionaryFile(
                             exampleFile(u"file-copy-two-volumes"_s, u"recorder.plist"_s))
                             .value_or(QVariantMap());
    config.insert({{u"restartSeconds"_s, 0.05}, {u"volumes"_s, volumes}, {u"faults"_s, faults}});
    attachRecorder(config);
    ASSERT_EQ(device->updateType, AudioDevice::UpdateType::fileCopy);
  }
  void attachScsi(QVariantMap changes = {}) {
    changes.insert(u"needsModeChange"_s, false);
    attachRecorder(scsiModel(changes));
    device->updateType = AudioDevice::UpdateType::scsiTransfer;
    device->transferAddress =
        AudioDeviceTable::ScsiTransferAddress{0x0210, 0x5A10, kAddress, kLength, 0, 0};
  }
  void reattach() {
    progress.clear();
    TearDown();
    SetUp();
  }

  FileCopyProcedure fileCopy(std::shared_ptr<FileManager> fileManager = nullptr) {
    return FileCopyProcedure({1ms, 1ms, 1ms, 1ms, {}}, std::move(fileManager), temporary.path());
  }

  // The command blocks the recorder received (direction, length, result) starting with prefix.
  QStringList commands(const QString& prefix = {}) const {
    return transcript().split(u'\n', Qt::SkipEmptyParts).filter(QRegularExpression(u'^' + prefix));
  }
  bool logged(const QString& line) const { return log.lines().contains(line); }
  AudioDeviceInterface::Progress recordProgress() {
    return [this](int64_t done, int64_t total) { progress.emplace_back(done, total); };
  }
  QString folderPath(const QString& name) const { return QDir(folder.path()).filePath(name); }
  QString updateFolder() const { return folderPath(u"volume1/System/Update"_s); }
  QStringList temporaryFiles() const {
    return QDir(temporary.path()).entryList(QDir::Files | QDir::Hidden);
  }

  ArchiveTools::ProgressLog progress;
  QTemporaryDir temporary;
  ScsiTransferProcedure scsi{{1ms, 1ms, 300'000ms, {}}};
};

TEST_F(ProcedureTest, AZipPackageReplacesTheUpdateFolderAndTheRecorderAppliesIt) {
  ArchiveTools::writeFile(updateFolder() + u"/OLD.BIN"_s, "left over");
  attachFileCopy({qint64{300'035}, qint64{1} << 30});
  const QByteArray package = ArchiveTools::readFile(kExampleZip);
  ASSERT_FALSE(package.isEmpty());

  QStringList seenWhileWriting;
  FileCopyProcedure procedure = fileCopy();
  EXPECT_EQ(procedure.update(*deviceInterface, *device, package, u"unused.bin"_s,
                             [&](int64_t done, int64_t total) {
                               progress.emplace_back(done, total);
                               seenWhileWriting = temporaryFiles();
                             }),
            std::nullopt);
  // The package lay in a private file of its own while it was unpacked, and is gone now.
  ASSERT_EQ(seenWhileWriting.size(), 1);
  EXPECT_TRUE(QRegularExpression(u"^DVR_\\w{6}$"_s).match(seenWhileWriting.front()).hasMatch());
  EXPECT_TRUE(temporaryFiles().isEmpty());
  EXPECT_EQ(progress.front(), std::make_pair(int64_t{0}, int64_t{0}));
  EXPECT_EQ(progress.back(), std::make_pair(int64_t{300'035}, int64_t{300'035}));

  // Exactly what Info-ZIP unzip makes of the archive, and nothing from before.
  const QString reference = QDir(temporary.path()).filePath(u"reference"_s);
  ASSERT_EQ(runProgram(u"unzip"_s, {u"-q"_s, kExampleZip, u"-d"_s, reference}).status, 0);
  EXPECT_EQ(ArchiveTools::tree(updateFolder()), ArchiveTools::tree(reference));
  EXPECT_TRUE(rack->volumes().mountedVolumes().empty()) << "both volumes are unmounted";
  EXPECT_TRUE(logged(u"Disk Volumes(2):"_s));
  EXPECT_TRUE(logged(u"ZipExpandedSize=300035"_s));

  EXPECT_EQ(procedure.finish(*deviceInterface, *device, package), std::nullopt);
  QStringList steps;
  for (const QString& line : commands()) {
    steps << line.left(47);
  }
  EXPECT_EQ(steps, (QStringList{u"E4 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00"_s,
                                u"E4 03 00 00 00 00 00 00 00 00 00 00 00 00 00 00"_s}));
  EXPECT_TRUE(logged(u"Send: UpdateFirmwareStart: Address=0x0, Length=0x0, Processor=0x0"_s));
  EXPECT_EQ(appliedFiles(folder.path()), (QStringList{u"UPDATE.TXT"_s, u"VR5201.BIN"_s}));
}

TEST_F(ProcedureTest, APackageThatIsNotAnArchiveIsCopiedUnderItsName) {
  const QByteArray package = ArchiveTools::pattern(2'500'000, 3);
  attachFileCopy({qint64{package.size()}});  // exactly enough
  ArchiveTools::writeFile(updateFolder() + u"/KEEP.TXT"_s, "kept");
  EXPECT_EQ(fileCopy().update(*deviceInterface, *device, package, u"DVR.BIN"_s, recordProgress()),
            std::nullopt);
  EXPECT_TRUE(logged(u"Not Zip File"_s));
  EXPECT_EQ(ArchiveTools::readFile(updateFolder() + u"/DVR.BIN"_s), package);
  EXPECT_EQ(ArchiveTools::readFile(updateFolder() + u"/KEEP.TXT"_s), "kept");
  const int64_t size = package.size();
  EXPECT_EQ(progress,
            (ArchiveTools::ProgressLog{
                {0, 0}, {0, size}, {0, size}, {1 << 20, size}, {2 << 20, size}, {size, size}}));
  EXPECT_TRUE(temporaryFiles().isEmpty());

  // An archive whose only entry would leave the folder yields nothing: copied whole.
  reattach();
  attachFileCopy({qint64{1} << 20});
  const QString archive = QDir(temporary.path()).filePath(u"escape.zip"_s);
  ASSERT_TRUE(ArchiveTools::makePythonArchive(u"escape"_s, archive));
  const QByteArray escape = ArchiveTools::readFile(archive);
  QFile::remove(archive);
  EXPECT_EQ(fileCopy().update(*deviceInterface, *device, escape, u"FW.ZIP"_s, {}), std::nullopt);
  EXPECT_TRUE(logged(u"Failed to unzip"_s));
  EXPECT_EQ(ArchiveTools::readFile(updateFolder() + u"/FW.ZIP"_s), escape);
  EXPECT_FALSE(QFileInfo::exists(folderPath(u"volume1/System/escape.bin"_s)));
}

TEST_F(ProcedureTest, AFileCopyThatFailsLeavesNoPartialFile) {
  const QByteArray zip = ArchiveTools::readFile(kExampleZip);
  const QByteArray plain = ArchiveTools::pattern(3'000'000, 5);
  const auto failingWrite =
      std::make_shared<FailingFileManager>(FailingFileManager::Fail::write, u"/"_s, 1);
  struct Case {
    const char* what;
    qint64 freeBytes;
    QByteArray package;
    QString fileName;
    std::shared_ptr<FileManager> fileManager;
    std::optional<AudioDeviceError> expected;
    bool unplugVolume = false;
  };
  // The archive is 300035 bytes unpacked but much smaller packed: the unpacked size counts.
  const Case cases[] = {
      {"too little space", 300'034, zip, u"F.BIN"_s, nullptr, AudioDeviceError::diskFullError()},
      {"no free space known", 0, zip, u"F.BIN"_s, nullptr, AudioDeviceError::diskFullError()},
      {"no volume", 1 << 30, zip, u"F.BIN"_s, nullptr, AudioDeviceError::deviceError(14), true},
      {"write error in the second piece", 1 << 30, plain, u"DVR.BIN"_s, failingWrite,
       AudioDeviceError::deviceError(14)},
      {"a name leading out of the folder", 1 << 30, plain, u"../DVR.BIN"_s, nullptr,
       AudioDeviceError::deviceError(14)},
      {"an empty name", 1 << 30, plain, QString(), nullptr, AudioDeviceError::deviceError(14)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    attachFileCopy({c.freeBytes});
    if (c.unplugVolume) {
      rack->volumes().forget(folderPath(u"volume1"_s).toStdString());
    }
    EXPECT_EQ(fileCopy(c.fileManager).update(*deviceInterface, *device, c.package, c.fileName, {}),
              c.expected);
    EXPECT_TRUE(temporaryFiles().isEmpty());
    if (c.package == zip) {  // failed before writing: the volume is untouched
      EXPECT_FALSE(QFileInfo::exists(folderPath(u"volume1/System"_s)));
    } else {
      EXPECT_TRUE(logged(u"Failed to copy firmware file"_s));
      EXPECT_TRUE(QDir(updateFolder()).isEmpty());
      EXPECT_FALSE(QFileInfo::exists(folderPath(u"volume1/System/DVR.BIN"_s)));
      EXPECT_FALSE(rack->volumes().mountedVolumes().empty()) << "a failed copy unmounts nothing";
    }
    reattach();
  }
}

TEST_F(ProcedureTest, TheFileCopyFollowUpCountsARecorderThatRestartedAsDone) {
  const struct {
    const char* what;
    QVariantList faults;
    std::optional<AudioDeviceError> expected;
    int finishes;
  } cases[] = {
      {"gone after the first attempt", fault(u"vanish"_s, {{u"afterCommands"_s, 2}}), std::nullopt,
       1},
      {"refused three times", fault(u"refuseFinish"_s, {{u"times"_s, 3}}), std::nullopt, 4},
      {"refused every time", fault(u"refuseFinish"_s, {{u"times"_s, 10}}), kIOError, 10},
      {"start refused", fault(u"checkCondition"_s, {{u"command"_s, u"UpdateFirmwareStart"_s}}),
       kIOError, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ArchiveTools::writeFile(updateFolder() + u"/DVR.BIN"_s, "firmware");
    attachFileCopy({qint64{1} << 30}, c.faults);
    EXPECT_EQ(fileCopy().finish(*deviceInterface, *device, {}), c.expected);
    EXPECT_EQ(commands(u"E4 03"_s).size(), c.finishes);
    reattach();
  }
}

TEST_F(ProcedureTest, AScsiTransferLeavesTheImageInFlashPaddedWithErasedBytes) {
  attachScsi();
  const QByteArray firmware = ArchiveTools::pattern(150'000, 0);
  EXPECT_EQ(scsi.update(*deviceInterface, *device, firmware, u"ignored.bin"_s, recordProgress()),
            std::nullopt);
  EXPECT_TRUE(rack->volumes().mountedVolumes().empty()) << "the volume stays mounted";
  EXPECT_EQ(progress, (ArchiveTools::ProgressLog{{0, 0},
                                                 {0, 150'000},
                                                 {0, 150'000},
                                                 {65536, 150'000},
                                                 {131072, 150'000},
                                                 {150'000, 150'000}}));
  EXPECT_EQ(scsi.finish(*deviceInterface, *device, firmware), std::nullopt);
  EXPECT_EQ(ArchiveTools::readFile(folderPath(u"flash-dsp.bin"_s)),
            firmware + QByteArray(kLength - firmware.size(), '\xFF'));
  // Start, three polls (the first round polls twice), three pieces, finish, verify.
  QStringList steps;
  for (const QString& line : commands()) {
    steps << line.mid(3, 2);
  }
  EXPECT_EQ(steps.join(u' '), u"00 01 01 01 02 02 02 03 04 05 05 05 06"_s);
  EXPECT_TRUE(commands().first().startsWith(
      "E4 00 00 04 00 00 00 03 00 00 00 00 00 00 00 00 in 65536 GOOD"_L1));
  EXPECT_EQ(commands(u"E4 05 00 01 00 00"_s).size(), 3);
  EXPECT_TRUE(commands(u"E4 03"_s).front().contains(" none 0 GOOD"_L1));

  const QString volume = QUrl::fromLocalFile(folderPath(u"volume1"_s)).toString();
  for (const QString& line :
       {u"Disk Volumes(1):"_s, u"  "_s + volume,
        u"Send: UpdateFirmwareStart: Address=0x40000, Length=0x30000, Processor=0x0"_s,
        u"BlockCount=0x3"_s, u"Send: UpdateFirmwareAreYouReady: Processor=0x0"_s,
        u"Send: UpdateFirmwareUploadFirmware: Length=0x10000, Processor=0x0"_s,
        u"Send: UpdateFirmwareUploadFirmware: Length=0x49F0, Processor=0x0"_s,
        u"Send: UpdateFirmwareFinish: Processor=0x0"_s,
        u"Send: UpdateFirmwareVerifyStart: Address=0x40000, Length=0x30000, Processor=0x0"_s,
        u"Send: UpdateFirmwareVerify: Length=0x10000, Processor=0x0"_s,
        u"Send: UpdateFirmwareVerifyFinish: Processor=0x0"_s}) {
    EXPECT_TRUE(logged(line)) << line.toStdString();
  }

  // With nothing to prepare the image goes at once, in pieces; both read-back commands ask
  // for a whole piece, and only the first byte of the second counts.
  reattach();
  attachScsi({{u"prepareBlocks"_s, 0}});
  const QByteArray small = ArchiveTools::pattern(65537, 0);
  EXPECT_EQ(scsi.update(*deviceInterface, *device, small, {}, recordProgress()), std::nullopt);
  EXPECT_TRUE(commands(u"E4 01"_s).isEmpty());
  const QStringList uploads = commands(u"E4 02"_s);
  ASSERT_EQ(uploads.size(), 2);
  EXPECT_TRUE(
      uploads[0].startsWith("E4 02 00 01 00 00 00 00 00 00 00 00 00 00 00 00 out 65536"_L1));
  EXPECT_TRUE(uploads[1].startsWith("E4 02 00 00 00 01 00 00 00 00 00 00 00 00 00 00 out 1"_L1));
  EXPECT_EQ(progress, (ArchiveTools::ProgressLog{
                          {0, 0}, {0, 65537}, {0, 65537}, {65536, 65537}, {65537, 65537}}));
  EXPECT_EQ(scsi.finish(*deviceInterface, *device, small), std::nullopt);
  EXPECT_EQ(commands(u"E4 05 00 01 00 00"_s).size(), 2);
}

// A refused piece and a read-back that differs are whole-run rows.
TEST_F(ProcedureTest, AScsiTransferThatFailsEndsTheStepWithTheRightCode) {
  const QByteArray firmware = ArchiveTools::pattern(150'000, 0);
  const struct {
    const char* what;
    QVariantList faults;
    bool subProcessor;
    bool finish;  // the failure comes in the follow-up step
    int32_t code;
    int uploads;   // pieces that reached the recorder
    int verifies;  // read-back pieces
  } cases[] = {
      {"rising block count", fault(u"risingBlockCount"_s), false, false, 14, 0, 0},
      {"start refused", fault(u"checkCondition"_s, {{u"command"_s, u"UpdateFirmwareStart"_s}}),
       false, false, static_cast<int32_t>(kIOReturnIOError), 0, 0},
      {"sub processor without a sub area", {}, true, false, 1, 0, 0},
      {"no image to compare", {}, false, true, 14, 3, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    attachScsi({{u"faults"_s, c.faults}});
    if (c.subProcessor) {
      device->targetProcessor = UpdateFirmwareTargetProcessor::sub;
    }
    const auto updated = scsi.update(*deviceInterface, *device, firmware, {}, {});
    if (c.finish) {
      ASSERT_EQ(updated, std::nullopt) << commands().join(u'\n').toStdString();
      const QByteArray compareWith = c.code == 14 ? QByteArray() : firmware;
      EXPECT_EQ(scsi.finish(*deviceInterface, *device, compareWith),
                AudioDeviceError::deviceError(c.code));
      EXPECT_EQ(commands(u"E4 06"_s).size(), 1) << "the read-back is always ended";
    } else {
      EXPECT_EQ(updated, AudioDeviceError::deviceError(c.code));
    }
    EXPECT_EQ(commands(u"E4 02"_s).size(), c.uploads);
    EXPECT_EQ(commands(u"E4 05"_s).size(), c.verifies);
    if (c.subProcessor) {
      EXPECT_TRUE(commands().isEmpty());
    }
    reattach();
  }
}

// Asked to stop (a signal), each procedure ends after the piece in flight and takes back what
// it wrote on the volume; the recorder's flash keeps what it got until the next update.
TEST_F(ProcedureTest, AnInterruptedUpdateStopsAfterThePieceInFlight) {
  const QByteArray zip = ArchiveTools::readFile(kExampleZip);
  const QByteArray plain = ArchiveTools::pattern(3'000'000, 5);
  const QByteArray image = ArchiveTools::pattern(200'000, 1);
  const struct {
    const char* what;
    bool scsi;
    QByteArray package;
    int64_t stopAt;  // bytes done when the stop is asked for
  } cases[] = {
      {"unpacking the archive", false, zip, 1},
      {"copying a plain package", false, plain, 1 << 20},
      {"uploading the image", true, image, 65'536},
      {"before anything was written", false, zip, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    if (c.scsi) {
      attachScsi();
    } else {
      attachFileCopy({qint64{1} << 30});
    }
    const auto stopAt = [&](int64_t done, int64_t total) {
      if (total > 0 && done >= c.stopAt) {
        deviceInterface->requestInterruption();
      }
    };
    const auto result =
        c.scsi ? scsi.update(*deviceInterface, *device, c.package, {}, stopAt)
               : fileCopy().update(*deviceInterface, *device, c.package, u"DVR.BIN"_s, stopAt);
    EXPECT_EQ(result, AudioDeviceError::interrupted());
    EXPECT_TRUE(temporaryFiles().isEmpty());
    if (c.scsi) {
      EXPECT_EQ(commands(u"E4 02"_s).size(), 1);
    } else {
      EXPECT_TRUE(QDir(updateFolder()).isEmpty());
    }
    reattach();
  }
}

// Recorders the virtual one does not imitate: polls that fail, a count that never moves.
TEST(ScsiTransferPolling, AFailingPollIsRetriedAndACountThatNeverMovesIsGivenUp) {
  const auto count = [](uint8_t blocks) { return ScriptedTarget::data({0, blocks}); };
  const auto refused = ScriptedTarget::status(ScsiTaskStatus::kCheckCondition, {0x70, 0, 0x04});
  const struct {
    const char* what;
    std::vector<ScriptedTarget::Answer> answers;
    std::chrono::milliseconds stallLimit;
    uint32_t expected;
    size_t sent;
    std::vector<int64_t> pauses;
  } cases[] = {
      // Start; first round: poll, pause, poll (moved to 3); second round: poll fails, two
      // retries a pause apart.
      {"failing poll",
       {count(4), count(4), count(3), refused, refused, refused},
       300'000ms,
       kIOReturnIOError,
       6,
       {1000, 500, 500, 500, 500}},
      {"count never moves", {count(2), count(2), count(2)}, 0ms, 14U, 3, {1000, 500}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    auto registry = std::make_shared<InMemoryRegistry>();
    auto target = std::make_shared<ScriptedTarget>();
    registry->addRecorder(0xF7A1, 0x0210, target);
    const AudioDevicePtr device = deviceOn(registry);
    ASSERT_NE(device, nullptr);
    device->updateType = AudioDevice::UpdateType::scsiTransfer;
    device->transferAddress =
        AudioDeviceTable::ScsiTransferAddress{0x0210, 0x5A10, kAddress, kLength, 0, 0};
    for (const auto& answer : c.answers) {
      target->script(answer);
    }
    std::vector<int64_t> pauses;
    ScsiTransferProcedure procedure(
        {1000ms, 500ms, c.stallLimit, [&pauses](auto pause) { pauses.push_back(pause.count()); }});
    AudioDeviceInterfaceReal deviceInterface;
    EXPECT_EQ(procedure.startAndWaitReady(deviceInterface, *device), c.expected);
    EXPECT_EQ(target->seen().size(), c.sent);
    EXPECT_EQ(pauses, c.pauses);
  }
}

}  // namespace
