#include "app/firmware/FileCopyProcedure.h"
#include "app/firmware/LocalFileManager.h"
#include "tests/firmware/ArchiveTools.h"
#include "tests/firmware/FailingFileManager.h"
#include "tests/firmware/ProcedureFixture.h"
#include "tests/support/QStringPrinter.h"

#include <QFileInfo>

using namespace std::chrono_literals;

namespace {

const QString kExampleZip =
    QStringLiteral(TARNWELL_SOURCE_DIR "/resources/examples/file-copy-two-volumes/firmware.zip");

}  // namespace

class FileCopyProcedureTest : public ProcedureFixture {
 protected:
  void attachFileCopy(const QVariantList& freeBytes, const QVariantList& faults = {}) {
    QVariantList volumes;
    for (const QVariant& bytes : freeBytes) {
      volumes << QVariantMap{{QStringLiteral("freeBytes"), bytes}};
    }
    QVariantMap config{
        {QStringLiteral("vendorId"), qint64{0xF7A1}},
        {QStringLiteral("productId"), qint64{0x0220}},
        {QStringLiteral("deviceId"), qint64{0x6B01}},
        {QStringLiteral("modelName"), QStringLiteral("VR-5201")},
        {QStringLiteral("firmwareVersion"), QStringLiteral("Ver 2.00")},
        {QStringLiteral("serialNumber"), QStringLiteral("5201B0067890")},
        {QStringLiteral("restartSeconds"), 0.05},
        {QStringLiteral("volumes"), volumes},
        {QStringLiteral("firmwareVersionAfterUpdate"), QStringLiteral("Ver 2.10")},
        {QStringLiteral("faults"), faults},
    };
    attachRecorder(config);
    ASSERT_EQ(device->updateType, AudioDevice::UpdateType::fileCopy);
  }

  FileCopyProcedure procedureWith(std::shared_ptr<FileManager> fileManager = nullptr) {
    return FileCopyProcedure({1ms, 1ms, 1ms, 1ms, {}}, std::move(fileManager), temporary.path());
  }

  QString updateFolder() const { return folderPath(QStringLiteral("volume1/System/Update")); }
  QStringList temporaryFiles() const {
    return QDir(temporary.path()).entryList(QDir::Files | QDir::Hidden);
  }
  QVariantMap lastApplied() const {
    const auto state = PropertyList::readDictionaryFile(folderPath(QStringLiteral("state.plist")));
    const QVariantList applied =
        state ? state->value(QStringLiteral("applied")).toList() : QVariantList();
    return applied.isEmpty() ? QVariantMap() : applied.last().toMap();
  }

  QTemporaryDir temporary;
};

TEST_F(FileCopyProcedureTest, AZipPackageReplacesTheUpdateFolderAndTheRecorderAppliesIt) {
  ArchiveTools::writeFile(folderPath(QStringLiteral("volume1/System/Update/OLD.BIN")), "left over");
  attachFileCopy({qint64{300'035}, qint64{1} << 30});
  QFile zip(kExampleZip);
  ASSERT_TRUE(zip.open(QIODevice::ReadOnly));
  const QByteArray package = zip.readAll();

  FileCopyProcedure procedure = procedureWith();
  QStringList seenWhileWriting;
  const auto progressed = [&](int64_t done, int64_t total) {
    progress.emplace_back(done, total);
    seenWhileWriting = temporaryFiles();
  };
  EXPECT_EQ(procedure.update(*deviceInterface, *device, package, QStringLiteral("unused.bin"),
                             progressed),
            std::nullopt);

  // The package lay in a private file of its own while it was unpacked, and is gone now.
  ASSERT_EQ(seenWhileWriting.size(), 1);
  EXPECT_TRUE(QRegularExpression(QStringLiteral("^DVR_\\w{6}$"))
                  .match(seenWhileWriting.front())
                  .hasMatch());
  EXPECT_TRUE(temporaryFiles().isEmpty());
  EXPECT_EQ(progress.front(), std::make_pair(int64_t{0}, int64_t{0}));
  EXPECT_EQ(progress.back(), std::make_pair(int64_t{300'035}, int64_t{300'035}));

  // Exactly what Info-ZIP unzip makes of the archive, and nothing from before.
  const QString reference = QDir(temporary.path()).filePath(QStringLiteral("reference"));
  ASSERT_EQ(ArchiveTools::run(QStringLiteral("unzip"),
                              {QStringLiteral("-q"), kExampleZip, QStringLiteral("-d"), reference},
                              temporary.path()),
            0);
  EXPECT_EQ(ArchiveTools::tree(updateFolder()), ArchiveTools::tree(reference));
  EXPECT_TRUE(rack->volumes().mountedVolumes().empty()) << "both volumes are unmounted";
  EXPECT_TRUE(logged(QStringLiteral("Disk Volumes(2):")));
  EXPECT_TRUE(logged(QStringLiteral("ZipExpandedSize=300035")));

  EXPECT_EQ(procedure.finish(*deviceInterface, *device, package), std::nullopt);
  QStringList steps;
  for (const QString& line : commands()) {
    steps << line.left(47);
  }
  EXPECT_EQ(steps,
            (QStringList{QStringLiteral("E4 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00"),
                         QStringLiteral("E4 03 00 00 00 00 00 00 00 00 00 00 00 00 00 00")}));
  EXPECT_TRUE(
      logged(QStringLiteral("Send: UpdateFirmwareStart: Address=0x0, Length=0x0, Processor=0x0")));
  const QVariantList files = lastApplied().value(QStringLiteral("files")).toList();
  ASSERT_EQ(files.size(), 2);
  EXPECT_EQ(files[1].toMap().value(QStringLiteral("name")).toString(),
            QStringLiteral("VR5201.BIN"));
}

TEST_F(FileCopyProcedureTest, APackageThatIsNotAnArchiveIsCopiedUnderItsName) {
  const QByteArray package = ArchiveTools::pattern(2'500'000, 3);
  attachFileCopy({qint64{package.size()}});  // exactly enough
  ArchiveTools::writeFile(updateFolder() + QStringLiteral("/KEEP.TXT"), "kept");
  FileCopyProcedure procedure = procedureWith();
  EXPECT_EQ(procedure.update(*deviceInterface, *device, package, QStringLiteral("DVR.BIN"),
                             recordProgress()),
            std::nullopt);
  EXPECT_TRUE(logged(QStringLiteral("Not Zip File")));
  EXPECT_EQ(ArchiveTools::readFile(updateFolder() + QStringLiteral("/DVR.BIN")), package);
  EXPECT_EQ(ArchiveTools::readFile(updateFolder() + QStringLiteral("/KEEP.TXT")), "kept");
  const int64_t size = package.size();
  const std::vector<std::pair<int64_t, int64_t>> expected{
      {0, 0}, {0, size}, {0, size}, {1 << 20, size}, {2 << 20, size}, {size, size}};
  EXPECT_EQ(progress, expected);
  EXPECT_TRUE(temporaryFiles().isEmpty());
}

TEST_F(FileCopyProcedureTest, AnArchiveThatYieldsNothingIsCopiedWhole) {
  attachFileCopy({qint64{1} << 20});
  const QString archive = QDir(temporary.path()).filePath(QStringLiteral("escape.zip"));
  ASSERT_EQ(ArchiveTools::run(QStringLiteral("python3"),
                              {QStringLiteral("-c"),
                               QStringLiteral("import sys, zipfile\n"
                                              "with zipfile.ZipFile(sys.argv[1], 'w') as z:\n"
                                              "    z.writestr('../escape.bin', 'x' * 1000)\n"),
                               archive},
                              temporary.path()),
            0);
  const QByteArray package = ArchiveTools::readFile(archive);
  QFile::remove(archive);
  EXPECT_EQ(
      procedureWith().update(*deviceInterface, *device, package, QStringLiteral("FW.ZIP"), {}),
      std::nullopt);
  EXPECT_TRUE(logged(QStringLiteral("Failed to unzip")));
  EXPECT_EQ(ArchiveTools::readFile(updateFolder() + QStringLiteral("/FW.ZIP")), package);
  EXPECT_FALSE(QFileInfo::exists(folderPath(QStringLiteral("volume1/System/escape.bin"))));
}

TEST_F(FileCopyProcedureTest, FailuresBeforeWritingLeaveTheVolumeAndTheTemporaryFolderUntouched) {
  QFile zip(kExampleZip);
  ASSERT_TRUE(zip.open(QIODevice::ReadOnly));
  const QByteArray package = zip.readAll();
  struct Case {
    const char* what;
    qint64 freeBytes;
    bool unplugVolume;
    std::optional<AudioDeviceError> expected;
  };
  // The archive is 300035 bytes unpacked but much smaller packed: the unpacked size counts.
  const std::vector<Case> cases{
      {"too little space", 300'034, false, AudioDeviceError::diskFullError()},
      {"no free space known", 0, false, AudioDeviceError::diskFullError()},
      {"no volume", 1 << 30, true, AudioDeviceError::deviceError(14)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    attachFileCopy({c.freeBytes});
    if (c.unplugVolume) {
      rack->volumes().forget(folderPath(QStringLiteral("volume1")).toStdString());
    }
    EXPECT_EQ(
        procedureWith().update(*deviceInterface, *device, package, QStringLiteral("F.BIN"), {}),
        c.expected);
    EXPECT_FALSE(QFileInfo::exists(folderPath(QStringLiteral("volume1/System"))));
    EXPECT_TRUE(temporaryFiles().isEmpty());
    TearDown();
    SetUp();
  }
}

TEST_F(FileCopyProcedureTest, AFailedCopyLeavesNoPartialFileAndFailsTheStep) {
  const QByteArray package = ArchiveTools::pattern(3'000'000, 5);
  struct Case {
    const char* what;
    QString fileName;
    std::shared_ptr<FileManager> fileManager;
  };
  const std::vector<Case> cases{
      {"write error in the second piece", QStringLiteral("DVR.BIN"),
       std::make_shared<FailingFileManager>(FailingFileManager::Fail::write, QStringLiteral("/"),
                                            1)},
      {"a name leading out of the folder", QStringLiteral("../DVR.BIN"), nullptr},
      {"an empty name", QString(), nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    attachFileCopy({qint64{1} << 30});
    EXPECT_EQ(
        procedureWith(c.fileManager).update(*deviceInterface, *device, package, c.fileName, {}),
        AudioDeviceError::deviceError(14));
    EXPECT_TRUE(logged(QStringLiteral("Failed to copy firmware file")));
    EXPECT_TRUE(QDir(updateFolder()).isEmpty());
    EXPECT_FALSE(QFileInfo::exists(folderPath(QStringLiteral("volume1/System/DVR.BIN"))));
    EXPECT_TRUE(temporaryFiles().isEmpty());
    EXPECT_FALSE(rack->volumes().mountedVolumes().empty()) << "a failed copy unmounts nothing";
    TearDown();
    SetUp();
  }
}

TEST_F(FileCopyProcedureTest, TheFollowUpCountsARecorderThatRestartedAsDone) {
  const auto fault = [](const QString& kind, const QString& key, const QVariant& value) {
    return QVariantList{QVariantMap{{QStringLiteral("kind"), kind}, {key, value}}};
  };
  struct Case {
    const char* what;
    QVariantList faults;
    std::optional<AudioDeviceError> expected;
    int finishes;
  };
  const std::vector<Case> cases{
      {"gone after the first attempt",
       fault(QStringLiteral("vanish"), QStringLiteral("afterCommands"), 2), std::nullopt, 1},
      {"refused three times", fault(QStringLiteral("refuseFinish"), QStringLiteral("times"), 3),
       std::nullopt, 4},
      {"refused every time", fault(QStringLiteral("refuseFinish"), QStringLiteral("times"), 10),
       AudioDeviceError::deviceError(static_cast<int32_t>(kIOReturnIOError)), 10},
      {"start refused",
       fault(QStringLiteral("checkCondition"), QStringLiteral("command"),
             QStringLiteral("UpdateFirmwareStart")),
       AudioDeviceError::deviceError(static_cast<int32_t>(kIOReturnIOError)), 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ArchiveTools::writeFile(updateFolder() + QStringLiteral("/DVR.BIN"), "firmware");
    attachFileCopy({qint64{1} << 30}, c.faults);
    EXPECT_EQ(procedureWith().finish(*deviceInterface, *device, {}), c.expected);
    EXPECT_EQ(commands(QStringLiteral("E4 03")).size(), c.finishes);
    TearDown();
    SetUp();
  }
}
