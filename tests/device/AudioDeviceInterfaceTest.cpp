#include "app/device/GetDeviceStatusInteractor.h"
#include "app/device/RecorderAnswers.h"
#include "app/device/RecorderVolumes.h"
#include "platform/SerialQueue.h"
#include "tests/device/AttachedRecorderFixture.h"
#include "tests/driver/ScriptedTarget.h"
#include "tests/platform/VolumeTestSupport.h"
#include "tests/support/QStringPrinter.h"

#include <future>
#include <mutex>

using namespace std::chrono_literals;

namespace {

using namespace Qt::StringLiterals;

class AudioDeviceInterfaceTest : public AttachedRecorderFixture {
 protected:
  void attachRecorder(const QVariantMap& config) {
    AttachedRecorderFixture::attachRecorder(config, {100ms, 500ms, 2000ms});
  }

  // Runs the mode change and the main loop until its completion has run on `queue`.
  std::optional<AudioDeviceError> switchMode() {
    // Locked: the completion may still come after the wait has given up; the queue,
    // declared last, finishes before what its tasks use goes.
    std::mutex lock;
    std::optional<std::optional<AudioDeviceError>> result;
    SerialQueue queue("test device");
    queue.post([&] {
      deviceInterface->switchRecorderMode(*device, queue,
                                          [&](std::optional<AudioDeviceError> error) {
                                            const std::scoped_lock guard(lock);
                                            result = error;
                                          });
    });
    const bool completed = processEventsUntil(
        [&] {
          const std::scoped_lock guard(lock);
          return result.has_value();
        },
        20s);
    EXPECT_TRUE(completed) << "the mode change never completed";
    const std::scoped_lock guard(lock);
    return result.value_or(AudioDeviceError::deviceError(-1));
  }
};

// The identify row of the tool and the update runs have recorders that come back with their
// volumes; here are the changes that end otherwise.
TEST_F(AudioDeviceInterfaceTest, ModeChangeEndsWhenTheRecorderIsBackMountedOrNot) {
  // Back without a volume, as on a desktop without an automounter: no error.
  attachRecorder(
      scsiModel({{u"faults"_s, QVariantList{QVariantMap{{u"kind"_s, u"noRemount"_s}}}}}));
  EXPECT_EQ(switchMode(), std::nullopt);
  device = deviceOn(Registry::shared());
  ASSERT_NE(device, nullptr);
  EXPECT_TRUE(RecorderVolumes::find(*device).isEmpty());
  // Without a volume to unmount, the next change waits no longer than its settling time.
  EXPECT_EQ(switchMode(), std::nullopt);
}

TEST_F(AudioDeviceInterfaceTest, ModeChangeGivesUpOnARecorderThatDoesNotComeBack) {
  attachRecorder(scsiModel({{u"restartSeconds"_s, 300.0}}));
  EXPECT_EQ(switchMode(), AudioDeviceError::deviceError(14));
  EXPECT_TRUE(log.lines().contains(u"Mode change: the recorder did not come back"_s));
}

TEST_F(AudioDeviceInterfaceTest, AFailedUnmountIsLoggedAndTheNextVolumeStillUnmounts) {
  QVariantMap config = scsiModel();
  config.insert(u"volumes"_s,
                QVariantList{QVariantMap{{u"freeBytes"_s, 1}}, QVariantMap{{u"freeBytes"_s, 2}}});
  attachRecorder(config);
  const QList<QUrl> volumes = RecorderVolumes::find(*device);
  ASSERT_EQ(volumes.size(), 2);
  rack->volumes().setUnmountPolicy([&](const std::string& mountPoint) {
    return mountPoint != volumes[0].toLocalFile().toStdString();
  });
  deviceInterface->unmountVolumes(volumes);
  EXPECT_TRUE(log.lines().contains(u"Unmount Volume: Failed, URL=%1, Message=%2"_s.arg(
      volumes[0].toString(), QLatin1String(InMemoryVolumeTable::kBusyError))));
  EXPECT_TRUE(log.lines().contains(u"Unmount Volume: OK, URL="_s + volumes[1].toString()));
  EXPECT_EQ(rack->volumes().mountedVolumes().size(), 1U);
}

// A recorder behind a scripted target, for answers the virtual one does not give.
struct ScriptedRecorder {
  ScriptedRecorder() {
    registry->addRecorder(0xF7A1, 0x0210, target);
    device = deviceOn(registry);
    EXPECT_NE(device, nullptr);
  }
  std::shared_ptr<InMemoryRegistry> registry = std::make_shared<InMemoryRegistry>();
  std::shared_ptr<ScriptedTarget> target = std::make_shared<ScriptedTarget>();
  AudioDevicePtr device;
  AudioDeviceInterfaceReal deviceInterface;
};

const std::vector<uint8_t> kInvalidField{0x70, 0, 0x05, 0, 0, 0, 0, 0x0A, 0, 0, 0, 0, 0x24};

// Each failed read ends the use case with its status: nothing more is sent, and what the
// failed read would have set stays as it was. Read 4 is the product information of a
// recorder that reports device ID 0.
TEST(GetDeviceStatusInteractorTest, StopsAtTheFirstFailedRead) {
  for (size_t failing = 0; failing < 5; ++failing) {
    SCOPED_TRACE(failing);
    ScriptedRecorder recorder;
    ASSERT_NE(recorder.device, nullptr);
    AudioDevice& device = *recorder.device;
    device.deviceName = u"before"_s;
    device.deviceID = 77;
    for (size_t i = 0; i < failing; ++i) {
      recorder.target->script({});
    }
    recorder.target->script(ScriptedTarget::status(ScsiTaskStatus::kCheckCondition, kInvalidField));
    EXPECT_EQ(GetDeviceStatusInteractor().execute(recorder.deviceInterface, device),
              static_cast<int32_t>(kIOReturnIOError));
    EXPECT_EQ(recorder.target->seen().size(), failing + 1);
    EXPECT_EQ(device.deviceName == QLatin1String("before"), failing == 0);
    EXPECT_EQ(device.deviceID == 77, failing <= 3);
  }
}

TEST(ScsiTransportTest, AFailedCommandLogsItsDecodedSenseAndLeavesTheAnswerAlone) {
  ScriptedRecorder recorder;
  ASSERT_NE(recorder.device, nullptr);
  const RecordedLog log;
  recorder.target->script(ScriptedTarget::status(ScsiTaskStatus::kCheckCondition, kInvalidField));
  std::optional<std::vector<AudioProductInformation>> list =
      std::vector<AudioProductInformation>(1);
  EXPECT_EQ(recorder.deviceInterface.readProductInformation(*recorder.device, list),
            kIOReturnIOError);
  EXPECT_EQ(list->size(), 1U);  // left as it was
  EXPECT_TRUE(log.contains(u"Execute Command: Status=0xE00002CA"_s));
  EXPECT_TRUE(
      log.contains(u"Execute Command: SCSIStatus=0x2, Sense=Illegal Request, "
                   "Additional sense: Invalid field in cdb"_s))
      << log.lines().join(u'\n').toStdString();

  // The whole outcome: the status and sense bytes come back with the driver's result.
  const ScsiCdb cdb = ScsiCdb::updateFirmwareFinish(0);
  recorder.target->script(ScriptedTarget::status(ScsiTaskStatus::kCheckCondition, kInvalidField));
  const ScsiOutcome outcome =
      recorder.deviceInterface.exchange(*recorder.device, ScsiDataDirection::noData, cdb, {},
                                        AudioDeviceInterfaceReal::kFinishTimeout);
  EXPECT_EQ(outcome.result, kIOReturnIOError);
  EXPECT_EQ(outcome.status, ScsiTaskStatus::kCheckCondition);
  EXPECT_EQ(outcome.sense[12], 0x24);
  // Finish goes with its own time-out (selector 7), the rest with the driver's 10 s.
  EXPECT_EQ(recorder.target->seen().back().timeout, 300000U);
  EXPECT_EQ(recorder.target->seen().front().timeout, 10000U);
}

// The decoders see the answer as the recorder sent it; a short one reads as zero-padded.
TEST(RecorderAnswersTest, DecodeTheItemsAndRefuseBrokenTexts) {
  EXPECT_EQ(RecorderAnswers::modelName(QByteArrayView("DR-41")),
            QString::fromUtf8("DR-41\0\0\0", 8));
  EXPECT_FALSE(RecorderAnswers::modelName(QByteArrayView("\xC3\x28\x41", 3)).has_value());

  const QByteArray version("Ver 1.00\x34\x12Ver 0.10", 18);
  EXPECT_EQ(RecorderAnswers::firmwareVersion(version).version(),
            (RecorderFirmwareVersion{u"Ver 1.00"_s, 0x1234, u"Ver 0.10"_s}));
  const auto broken = RecorderAnswers::firmwareVersion(QByteArrayView("Ver 1.00\x34\x12\xFF", 11));
  EXPECT_EQ(broken.mainCPU, u"Ver 1.00"_s);
  EXPECT_FALSE(broken.version().has_value());
  EXPECT_EQ(RecorderAnswers::firmwareVersion({}).version(),
            (RecorderFirmwareVersion{QString(8, QChar(0)), 0, QString()}));

  EXPECT_EQ(RecorderAnswers::serialID({}), QString());
  EXPECT_FALSE(RecorderAnswers::serialID(QByteArrayView("\x03\x41\xFF\x43", 4)).has_value());
  EXPECT_EQ(RecorderAnswers::deviceID(QByteArrayView("\x12\x34\x56\x78", 4)), 0x12345678U);
  EXPECT_TRUE(RecorderAnswers::needsModeChange(QByteArrayView("\0\0\0\0\0\0\x03\0", 8)));
  EXPECT_FALSE(RecorderAnswers::needsModeChange(QByteArrayView("\0\0\0\x03\0\0\x01\0", 8)));
}

TEST(ProductInformation, CutsEntriesAndFieldsAsTheRecorderWritesThem) {
  const auto entry = [](const QByteArray& utf16Units, int lengthByte) {
    return QByteArray(1, static_cast<char>(lengthByte)) + utf16Units;
  };
  const QByteArray a("A\0B\0\0\0", 6);
  const QByteArray broken("\x00\xD8\0\0", 4);  // a lone high surrogate
  // The count is little-endian: 0x0102 entries, not 0x02010000.
  EXPECT_EQ(productInformationCount(QByteArray("\x02\x01\0\0", 4) + entry(a, 3)), 0x0102U);
  // Count 2: the undecodable first entry does not count, so two texts follow it.
  QByteArray answer = QByteArray("\x02\0\0\0", 4) + entry(broken, 2) + entry(a, 3) + entry(a, 3);
  EXPECT_EQ(productInformationTexts(answer), (QStringList{u"AB"_s, u"AB"_s}));
  // A zero length byte neither stops the application nor yields a text.
  answer = QByteArray("\x02\0\0\0", 4) + entry({}, 0) + entry(a, 3);
  EXPECT_EQ(productInformationTexts(answer), QStringList{u"AB"_s});
  // An entry running past the answer ends the parse.
  answer = QByteArray("\x01\0\0\0", 4) + entry(a, 40);
  EXPECT_TRUE(productInformationTexts(answer).isEmpty());
  EXPECT_TRUE(productInformationTexts(QByteArray("\x01\0\0\0", 4)).isEmpty());

  const AudioProductInformation full =
      parseProductInformation(u" VLMA0421H100R000-EXT10302-000000421777-extra\r\n"_s);
  EXPECT_EQ(full, (AudioProductInformation{u"VLM"_s, u"A"_s, u"0421"_s, u"H100"_s, u"R000"_s,
                                           u"EXT1"_s, u"03"_s, u"02"_s, u"000000421777"_s}));
  const AudioProductInformation partial = parseProductInformation(u"VLMA04--EXT10"_s);
  EXPECT_EQ(partial,
            (AudioProductInformation{u"VLM"_s, u"A"_s, std::nullopt, std::nullopt, std::nullopt,
                                     u"EXT1"_s, std::nullopt, std::nullopt, std::nullopt}));
}

}  // namespace
