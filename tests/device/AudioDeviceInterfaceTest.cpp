#include "app/device/GetDeviceStatusInteractor.h"
#include "platform/SerialQueue.h"
#include "tests/device/AttachedRecorderFixture.h"
#include "tests/driver/ScriptedTarget.h"
#include "tests/platform/VolumeTestSupport.h"
#include "tests/support/QStringPrinter.h"

#include <future>
#include <mutex>

using namespace std::chrono_literals;

namespace {

class AudioDeviceInterfaceTest : public AttachedRecorderFixture {
 protected:
  void attachRecorder(const QVariantMap& config) {
    AttachedRecorderFixture::attachRecorder(config, {100ms, 500ms, 2000ms});
  }

  // The commands the recorder received, without their results.
  QStringList commands() const {
    QStringList lines = transcript().split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    for (QString& line : lines) {
      line = line.section(QLatin1Char(' '), 0, 15);
    }
    return lines;
  }

  // Runs the mode change and the main loop until its completion has run on `queue`.
  std::optional<AudioDeviceError> switchMode() {
    // Locked: the completion may still come after the wait has given up; the queue,
    // declared last, finishes before what its tasks use goes.
    std::mutex lock;
    std::optional<std::optional<AudioDeviceError>> result;
    SerialQueue queue("test device");
    queue.async([&] {
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

TEST_F(AudioDeviceInterfaceTest, DeviceStatusReadsTheIdentityInOrderAndPicksTheUpdateType) {
  attachRecorder(scsiModel());
  EXPECT_EQ(GetDeviceStatusInteractor().execute(*deviceInterface, *device), 0);
  EXPECT_EQ(device->deviceName, QString::fromUtf8("DR-41\0\0\0", 8));
  EXPECT_EQ(device->version, QStringLiteral("1000"));
  EXPECT_EQ(device->serialID, QStringLiteral("S0001"));
  EXPECT_EQ(device->deviceID, 0x5A10U);
  EXPECT_EQ(device->modelID, 4110U);
  EXPECT_EQ(device->updateType, AudioDevice::UpdateType::scsiTransfer);
  ASSERT_TRUE(device->transferAddress.has_value());
  EXPECT_EQ(device->transferAddress->mainCPULength, 0x1E0000U);
  EXPECT_EQ(commands(), (QStringList{
                            QStringLiteral("E0 00 00 08 00 00 00 00 00 00 00 00 00 00 00 00"),
                            QStringLiteral("E0 02 00 12 00 00 00 00 00 00 00 00 00 00 00 00"),
                            QStringLiteral("E0 06 01 00 00 00 00 00 00 00 00 00 00 00 00 00"),
                            QStringLiteral("E0 0B 00 04 00 00 00 00 00 00 00 00 00 00 00 00"),
                        }));
  const QStringList lines = log.lines();
  for (const char* expected :
       {"Send: ReadRecorderItem (ModelName)",
        "Execute Command: CDB=(E0 00 00 08 00 00 00 00 00 00 00 00 00 00 00 00), DataSize=65536",
        "Execute Command: Status=0x0", "MainCPU=Ver 1.00", "SubCPU=Ver 0.10",
        "MusicCodecFile=0x102", "SerialID=S0001", "DeviceID=0x00005A10"}) {
    EXPECT_TRUE(lines.contains(QLatin1String(expected))) << expected;
  }
}

TEST_F(AudioDeviceInterfaceTest, ARecorderWithDeviceIdZeroNamesItsModelInItsProductInformation) {
  attachRecorder(
      scsiModel({{QStringLiteral("productId"), qint64{0x0260}},
                 {QStringLiteral("deviceId"), qint64{0}},
                 {QStringLiteral("subFirmwareVersion"), QString()},
                 {QStringLiteral("serialNumber"), QString()},
                 {QStringLiteral("productInformation"),
                  QVariantList{QStringLiteral(" VLMA0421H100R000-EXT10302-000000421777\n")}}}));
  EXPECT_EQ(GetDeviceStatusInteractor().execute(*deviceInterface, *device), 0);
  EXPECT_EQ(device->modelID, 421U);
  EXPECT_EQ(device->serialID, QString());
  EXPECT_EQ(device->updateType, AudioDevice::UpdateType::fileCopy);
  EXPECT_EQ(commands().size(), 5);
  EXPECT_TRUE(commands().last().startsWith(QLatin1String("E0 17 01 8A")));
  EXPECT_TRUE(log.lines().contains(QStringLiteral("SubCPU=")));
}

TEST_F(AudioDeviceInterfaceTest, ModeChangeUnmountsRestartsAndCompletesAtTheNextMount) {
  attachRecorder(scsiModel({{QStringLiteral("restartSeconds"), 0.1}}));
  EXPECT_TRUE(deviceInterface->requiresModeChange(*device));
  const QList<QUrl> volumes = deviceInterface->findRecorderVolumes(*device);
  ASSERT_EQ(volumes.size(), 1);
  EXPECT_EQ(volumes.front(),
            QUrl::fromLocalFile(QDir(folder.filePath(QStringLiteral("volume1"))).absolutePath()));

  EXPECT_EQ(switchMode(), std::nullopt);
  EXPECT_TRUE(log.lines().contains(QStringLiteral("Unmount Volume: OK, URL=") +
                                   volumes.front().toString()));
  EXPECT_TRUE(log.lines().contains(QStringLiteral("Send: RecorderModeChange: Mode=0x2")));
  // The record's connection is closed: nothing more reaches the recorder through it.
  std::optional<QString> name;
  EXPECT_EQ(deviceInterface->readModelName(*device, name), 4U);
  EXPECT_FALSE(name.has_value());

  const AudioDevicePtr again = deviceOn(Registry::shared());
  ASSERT_NE(again, nullptr);
  EXPECT_FALSE(deviceInterface->requiresModeChange(*again));
}

TEST_F(AudioDeviceInterfaceTest, ModeChangeWithoutVolumesWaitsAndOneThatNeverRemountsGivesUp) {
  attachRecorder(scsiModel(
      {{QStringLiteral("faults"),
        QVariantList{QVariantMap{{QStringLiteral("kind"), QStringLiteral("noRemount")}}}}}));
  EXPECT_EQ(switchMode(), AudioDeviceError::deviceError(14));

  // Back, but without a volume: the next change only waits for it to settle.
  const AudioDevicePtr again = deviceOn(Registry::shared());
  ASSERT_NE(again, nullptr);
  device = again;
  EXPECT_TRUE(deviceInterface->findRecorderVolumes(*device).isEmpty());
  EXPECT_EQ(switchMode(), std::nullopt);
}

TEST_F(AudioDeviceInterfaceTest, AFailedUnmountIsLoggedAndTheNextVolumeStillUnmounts) {
  QVariantMap config = scsiModel();
  config.insert(QStringLiteral("volumes"),
                QVariantList{QVariantMap{{QStringLiteral("freeBytes"), 1}},
                             QVariantMap{{QStringLiteral("freeBytes"), 2}}});
  attachRecorder(config);
  const QList<QUrl> volumes = deviceInterface->findRecorderVolumes(*device);
  ASSERT_EQ(volumes.size(), 2);
  rack->volumes().setUnmountPolicy([&](const std::string& mountPoint) {
    return mountPoint != volumes[0].toLocalFile().toStdString();
  });
  deviceInterface->unmountVolumes(volumes);
  EXPECT_TRUE(log.lines().contains(
      QStringLiteral("Unmount Volume: Failed, URL=%1, Message=%2")
          .arg(volumes[0].toString(), QLatin1String(InMemoryVolumeTable::kBusyError))));
  EXPECT_TRUE(
      log.lines().contains(QStringLiteral("Unmount Volume: OK, URL=") + volumes[1].toString()));
  EXPECT_EQ(rack->volumes().mountedVolumes().size(), 1U);
}

// Answers a recorder could give that the virtual one does not: broken texts, short answers.
TEST(AudioDeviceInterfaceAnswers, UndecodableAndShortAnswersGiveNoneWithSuccess) {
  auto registry = std::make_shared<InMemoryRegistry>();
  auto target = std::make_shared<ScriptedTarget>();
  registry->addRecorder(0xF7A1, 0x0210, target);
  const AudioDevicePtr device = deviceOn(registry);
  ASSERT_NE(device, nullptr);
  AudioDeviceInterfaceReal deviceInterface;

  target->script(ScriptedTarget::data({0xC3, 0x28, 'A'}));
  std::optional<QString> name = QStringLiteral("old");
  EXPECT_EQ(deviceInterface.readModelName(*device, name), 0U);
  EXPECT_FALSE(name.has_value());

  target->script(ScriptedTarget::data({'V', 'e', 'r', ' ', '1', '.', '0', '0', 0x34, 0x12, 0xFF}));
  std::optional<RecorderFirmwareVersion> version;
  EXPECT_EQ(deviceInterface.readFirmwareVersion(*device, version), 0U);
  EXPECT_FALSE(version.has_value());

  target->script(ScriptedTarget::data({}));
  EXPECT_EQ(deviceInterface.readFirmwareVersion(*device, version), 0U);
  ASSERT_TRUE(version.has_value());
  EXPECT_EQ(*version, (RecorderFirmwareVersion{QString(8, QChar(0)), 0, QString()}));

  target->script(ScriptedTarget::data({3, 'A', 0xFF, 'C'}));
  std::optional<QString> serial;
  EXPECT_EQ(deviceInterface.readSerialID(*device, serial), 0U);
  EXPECT_FALSE(serial.has_value());

  target->script(ScriptedTarget::status(ScsiTaskStatus::kCheckCondition, {0x70, 0, 0x05}));
  std::optional<std::vector<AudioProductInformation>> list =
      std::vector<AudioProductInformation>(1);
  EXPECT_EQ(deviceInterface.readProductInformation(*device, list), kIOReturnIOError);
  EXPECT_EQ(list->size(), 1U);  // left as it was

  // Finish goes with its own time-out (selector 7), the rest with the driver's 10 s.
  deviceInterface.executeCommand(*device, ScsiDataDirection::noData,
                                 ScsiCdb::updateFirmwareFinish(0), nullptr, 0,
                                 AudioDeviceInterfaceReal::kFinishTimeout);
  EXPECT_EQ(target->seen().back().timeout, 300000U);
  EXPECT_EQ(target->seen().front().timeout, 10000U);
}

TEST(ProductInformation, CutsEntriesAndFieldsAsTheRecorderWritesThem) {
  const auto entry = [](const QByteArray& utf16Units, int lengthByte) {
    return QByteArray(1, static_cast<char>(lengthByte)) + utf16Units;
  };
  const QByteArray a("A\0B\0\0\0", 6);
  const QByteArray broken("\x00\xD8\0\0", 4);  // a lone high surrogate
  // Count 2: the undecodable first entry does not count, so two texts follow it.
  QByteArray answer = QByteArray("\x02\0\0\0", 4) + entry(broken, 2) + entry(a, 3) + entry(a, 3);
  EXPECT_EQ(productInformationTexts(answer),
            (QStringList{QStringLiteral("AB"), QStringLiteral("AB")}));
  // A zero length byte neither stops the application nor yields a text.
  answer = QByteArray("\x02\0\0\0", 4) + entry({}, 0) + entry(a, 3);
  EXPECT_EQ(productInformationTexts(answer), QStringList{QStringLiteral("AB")});
  // An entry running past the answer ends the parse.
  answer = QByteArray("\x01\0\0\0", 4) + entry(a, 40);
  EXPECT_TRUE(productInformationTexts(answer).isEmpty());
  EXPECT_TRUE(productInformationTexts(QByteArray("\x01\0\0\0", 4)).isEmpty());

  const AudioProductInformation full =
      parseProductInformation(QStringLiteral(" VLMA0421H100R000-EXT10302-000000421777-extra\r\n"));
  EXPECT_EQ(full.makerCode, QStringLiteral("VLM"));
  EXPECT_EQ(full.firmwareType, QStringLiteral("A"));
  EXPECT_EQ(full.modelID, QStringLiteral("0421"));
  EXPECT_EQ(full.hardwareVersion, QStringLiteral("H100"));
  EXPECT_EQ(full.reserved, QStringLiteral("R000"));
  EXPECT_EQ(full.firmwareExtensionCode, QStringLiteral("EXT1"));
  EXPECT_EQ(full.firmwareMajorVersion, QStringLiteral("03"));
  EXPECT_EQ(full.firmwareMinorVersion, QStringLiteral("02"));
  EXPECT_EQ(full.serialNumber, QStringLiteral("000000421777"));

  const AudioProductInformation partial = parseProductInformation(QStringLiteral("VLMA04--EXT10"));
  EXPECT_EQ(partial.firmwareType, QStringLiteral("A"));
  EXPECT_FALSE(partial.modelID.has_value());
  EXPECT_EQ(partial.firmwareExtensionCode, QStringLiteral("EXT1"));
  EXPECT_FALSE(partial.firmwareMajorVersion.has_value());
  EXPECT_FALSE(partial.serialNumber.has_value());
}

}  // namespace
