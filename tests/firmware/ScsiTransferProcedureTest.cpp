#include "app/firmware/ScsiTransferProcedure.h"
#include "tests/driver/ScriptedTarget.h"
#include "tests/firmware/ProcedureFixture.h"
#include "tests/support/QStringPrinter.h"

using namespace std::chrono_literals;

namespace {

constexpr uint32_t kAddress = 0x40000;
constexpr uint32_t kLength = 0x30000;

QByteArray image(int size) {
  QByteArray bytes(size, '\0');
  for (int i = 0; i < size; ++i) {
    bytes[i] = static_cast<char>((i * 7 + i / 65536) & 0xFF);
  }
  return bytes;
}

ScsiTransferProcedure::Pauses shortPauses() { return {1ms, 1ms, 300'000ms, {}}; }

}  // namespace

class ScsiTransferProcedureTest : public ProcedureFixture {
 protected:
  void attachScsi(const QVariantMap& changes = {}) {
    QVariantMap config = scsiModel(changes);
    config.insert(QStringLiteral("needsModeChange"), false);
    attachRecorder(config);
    device->updateType = AudioDevice::UpdateType::scsiTransfer;
    device->transferAddress =
        AudioDeviceTable::ScsiTransferAddress{0x0210, 0x5A10, kAddress, kLength, 0, 0};
  }

  static QVariantList fault(const QString& kind, const QVariantMap& parameters = {}) {
    QVariantMap map = parameters;
    map.insert(QStringLiteral("kind"), kind);
    return {map};
  }

  QByteArray flash() const {
    QFile file(folderPath(QStringLiteral("flash-dsp.bin")));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
  }

  ScsiTransferProcedure procedure{shortPauses()};
};

TEST_F(ScsiTransferProcedureTest, UpdateAndFinishLeaveTheImageInFlashPaddedWithErasedBytes) {
  attachScsi();
  const QByteArray firmware = image(150'000);
  EXPECT_EQ(procedure.update(*deviceInterface, *device, firmware, QStringLiteral("ignored.bin"),
                             recordProgress()),
            std::nullopt);
  EXPECT_TRUE(rack->volumes().mountedVolumes().empty()) << "the volume stays mounted";
  EXPECT_EQ(procedure.finish(*deviceInterface, *device, firmware), std::nullopt);

  EXPECT_EQ(flash(), firmware + QByteArray(kLength - firmware.size(), '\xFF'));
  // Start, three polls (the first round polls twice), three pieces, finish, verify.
  QStringList steps;
  for (const QString& line : commands()) {
    steps << line.mid(3, 2);
  }
  EXPECT_EQ(steps.join(QLatin1Char(' ')), QStringLiteral("00 01 01 01 02 02 02 03 04 05 05 05 06"));
  EXPECT_TRUE(commands().first().startsWith(
      QLatin1String("E4 00 00 04 00 00 00 03 00 00 00 00 00 00 00 00 in 65536 GOOD")));
  EXPECT_EQ(commands(QStringLiteral("E4 05 00 01 00 00")).size(), 3);
  EXPECT_TRUE(commands(QStringLiteral("E4 03")).front().contains(QLatin1String(" none 0 GOOD")));

  const QString volume = QUrl::fromLocalFile(folderPath(QStringLiteral("volume1"))).toString();
  for (const QString& line :
       {QStringLiteral("Disk Volumes(1):"), QStringLiteral("  ") + volume,
        QStringLiteral("Send: UpdateFirmwareStart: Address=0x40000, Length=0x30000, Processor=0x0"),
        QStringLiteral("BlockCount=0x3"),
        QStringLiteral("Send: UpdateFirmwareAreYouReady: Processor=0x0"),
        QStringLiteral("Send: UpdateFirmwareUploadFirmware: Length=0x10000, Processor=0x0"),
        QStringLiteral("Send: UpdateFirmwareUploadFirmware: Length=0x49F0, Processor=0x0"),
        QStringLiteral("Send: UpdateFirmwareFinish: Processor=0x0"),
        QStringLiteral(
            "Send: UpdateFirmwareVerifyStart: Address=0x40000, Length=0x30000, Processor=0x0"),
        QStringLiteral("Send: UpdateFirmwareVerify: Length=0x10000, Processor=0x0"),
        QStringLiteral("Send: UpdateFirmwareVerifyFinish: Processor=0x0")}) {
    EXPECT_TRUE(logged(line)) << line.toStdString();
  }
}

TEST_F(ScsiTransferProcedureTest, ARecorderWithNothingToPrepareGetsTheImageAtOnceInPieces) {
  attachScsi({{QStringLiteral("prepareBlocks"), 0}});
  const QByteArray firmware = image(65537);
  EXPECT_EQ(procedure.update(*deviceInterface, *device, firmware, {}, recordProgress()),
            std::nullopt);
  EXPECT_TRUE(commands(QStringLiteral("E4 01")).isEmpty());
  const QStringList uploads = commands(QStringLiteral("E4 02"));
  ASSERT_EQ(uploads.size(), 2);
  EXPECT_TRUE(uploads[0].startsWith(
      QLatin1String("E4 02 00 01 00 00 00 00 00 00 00 00 00 00 00 00 out 65536")));
  EXPECT_TRUE(uploads[1].startsWith(
      QLatin1String("E4 02 00 00 00 01 00 00 00 00 00 00 00 00 00 00 out 1")));
  const std::vector<std::pair<int64_t, int64_t>> expected{
      {0, 0}, {0, 65537}, {0, 65537}, {65536, 65537}, {65537, 65537}};
  EXPECT_EQ(progress, expected);

  // Both read-back commands ask for a whole piece; only the first byte of the second counts.
  EXPECT_EQ(procedure.finish(*deviceInterface, *device, firmware), std::nullopt);
  EXPECT_EQ(commands(QStringLiteral("E4 05 00 01 00 00")).size(), 2);
}

TEST_F(ScsiTransferProcedureTest, FailuresEndTheStepWithTheRightCode) {
  struct Case {
    const char* what;
    QVariantMap changes;
    std::optional<UpdateFirmwareTargetProcessor> processor;
    int32_t code;
    int uploads;  // pieces that reached the recorder
  };
  const std::vector<Case> cases{
      {"rising block count",
       {{QStringLiteral("faults"), fault(QStringLiteral("risingBlockCount"))}},
       {},
       14,
       0},
      {"second piece refused",
       {{QStringLiteral("faults"),
         fault(QStringLiteral("checkCondition"),
               {{QStringLiteral("command"), QStringLiteral("UpdateFirmwareUploadFirmware")},
                {QStringLiteral("occurrence"), 2}})}},
       {},
       static_cast<int32_t>(kIOReturnIOError),
       2},
      {"start refused",
       {{QStringLiteral("faults"),
         fault(QStringLiteral("checkCondition"),
               {{QStringLiteral("command"), QStringLiteral("UpdateFirmwareStart")}})}},
       {},
       static_cast<int32_t>(kIOReturnIOError),
       0},
      {"sub processor without a sub area", {}, UpdateFirmwareTargetProcessor::sub, 1, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    attachScsi(c.changes);
    if (c.processor) {
      device->targetProcessor = *c.processor;
    }
    progress.clear();
    EXPECT_EQ(procedure.update(*deviceInterface, *device, image(3 * 65536), {}, recordProgress()),
              AudioDeviceError::deviceError(c.code));
    EXPECT_EQ(commands(QStringLiteral("E4 02")).size(), c.uploads);
    if (c.code == 1) {
      EXPECT_TRUE(commands().isEmpty());
    }
    TearDown();
    SetUp();
  }
}

TEST_F(ScsiTransferProcedureTest, TheFollowUpReportsWhatTheReadBackShowsAndAlwaysEndsIt) {
  struct Case {
    const char* what;
    QVariantMap changes;
    QByteArray finishWith;
    int32_t code;
    int verifies;
  };
  const QByteArray firmware = image(150'000);
  const std::vector<Case> cases{
      {"difference in the first piece",
       {{QStringLiteral("faults"),
         fault(QStringLiteral("verifyMismatch"), {{QStringLiteral("offset"), 10}})}},
       firmware,
       18,
       1},
      {"no image to compare", {}, QByteArray(), 14, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    attachScsi(c.changes);
    ASSERT_EQ(procedure.update(*deviceInterface, *device, firmware, {}, {}), std::nullopt)
        << commands().join(QLatin1Char('\n')).toStdString();
    EXPECT_EQ(procedure.finish(*deviceInterface, *device, c.finishWith),
              AudioDeviceError::deviceError(c.code));
    EXPECT_EQ(commands(QStringLiteral("E4 05")).size(), c.verifies);
    EXPECT_EQ(commands(QStringLiteral("E4 06")).size(), 1);
    TearDown();
    SetUp();
  }
}

// Recorders the virtual one does not imitate: polls that fail, a count that never moves.
class ScsiTransferPolling : public ::testing::Test {
 protected:
  void SetUp() override {
    registry->addRecorder(0xF7A1, 0x0210, target);
    device = deviceOn(registry);
    ASSERT_NE(device, nullptr);
    device->updateType = AudioDevice::UpdateType::scsiTransfer;
    device->transferAddress =
        AudioDeviceTable::ScsiTransferAddress{0x0210, 0x5A10, kAddress, kLength, 0, 0};
  }

  static ScriptedTarget::Answer count(uint8_t blocks) { return ScriptedTarget::data({0, blocks}); }
  static ScriptedTarget::Answer refused() {
    return ScriptedTarget::status(ScsiTaskStatus::kCheckCondition, {0x70, 0, 0x04});
  }

  ScsiTransferProcedure procedureWith(std::chrono::milliseconds stallLimit) {
    return ScsiTransferProcedure(
        {1000ms, 500ms, stallLimit,
         [this](std::chrono::milliseconds pause) { pauses.push_back(pause.count()); }});
  }

  std::shared_ptr<InMemoryRegistry> registry = std::make_shared<InMemoryRegistry>();
  std::shared_ptr<ScriptedTarget> target = std::make_shared<ScriptedTarget>();
  AudioDeviceInterfaceReal deviceInterface;
  AudioDevicePtr device;
  std::vector<int64_t> pauses;
};

TEST_F(ScsiTransferPolling, AFailingPollIsTriedThreeTimesAPauseApart) {
  for (const auto& answer : {count(4), count(4), count(3), refused(), refused(), refused()}) {
    target->script(answer);
  }
  ScsiTransferProcedure procedure = procedureWith(300'000ms);
  EXPECT_EQ(procedure.startAndWaitReady(deviceInterface, *device), kIOReturnIOError);
  // Start; first round: poll, pause, poll (moved to 3); second round: poll fails, two retries.
  EXPECT_EQ(target->seen().size(), 6U);
  EXPECT_EQ(pauses, (std::vector<int64_t>{1000, 500, 500, 500, 500}));
}

TEST_F(ScsiTransferPolling, ACountThatNeverMovesIsGivenUpInsteadOfPolledForEver) {
  for (int i = 0; i < 5; ++i) {
    target->script(count(2));
  }
  ScsiTransferProcedure procedure = procedureWith(0ms);
  EXPECT_EQ(procedure.startAndWaitReady(deviceInterface, *device), 14U);
  EXPECT_EQ(target->seen().size(), 3U);
}
