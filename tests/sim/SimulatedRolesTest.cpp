#include "app/device/VersionCode.h"
#include "app/sim/AudioDeviceDetectorMock.h"
#include "app/sim/AudioDeviceInterfaceMock.h"
#include "app/sim/DownloadManagerMock.h"
#include "app/sim/MockDeviceDefine.h"
#include "app/sim/MockServerResponse.h"
#include "platform/PropertyList.h"
#include "platform/SerialQueue.h"
#include "tests/support/EventLoop.h"
#include "tests/support/QStringPrinter.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QUrl>

#include <gtest/gtest.h>

#include <semaphore>

using namespace Qt::StringLiterals;

using namespace std::chrono_literals;

namespace {

QVariantMap recorder(qint64 vendor, qint64 pid, qint64 deviceID = 0x6B01) {
  return {{u"vendorId"_s, vendor},
          {u"usbPid"_s, pid},
          {u"deviceId"_s, deviceID},
          {u"deviceName"_s, u"VR-5201"_s},
          {u"version"_s, u"2000"_s}};
}

}  // namespace

TEST(MockDeviceDefineTest, ARecordDecodesOnlyWithEveryKeyOfItsType) {
  const QVariantMap good = recorder(0xF7A1, 0x0220);
  const auto decoded = MockDeviceDefine::fromVariant(good);
  ASSERT_TRUE(decoded);
  const AudioDevicePtr device = decoded->makeAudioDevice();
  EXPECT_EQ(device->usbVendorID, 0xF7A1);
  EXPECT_EQ(device->usbPID, 0x0220);
  EXPECT_EQ(device->deviceID, 0x6B01U);
  EXPECT_EQ(device->version, u"2000"_s);
  EXPECT_EQ(device->serviceEntry, nullptr);

  const struct {
    const char* key;
    QVariant value;
    bool decodes;
  } cases[] = {
      {"deviceId", qint64{-1}, false},  // would wrap into an unsigned device ID
      {"deviceId", qint64{0}, true},    {"vendorId", u"F7A1"_s, false},
      {"usbPid", true, false},          {"usbPid", 2.5, false},
      {"version", qint64{2000}, false}, {"deviceName", QVariant(), false},  // missing
      {"colour", u"red"_s, true},
  };
  for (const auto& c : cases) {
    QVariantMap map = good;
    if (c.value.isValid()) {
      map.insert(QString::fromLatin1(c.key), c.value);
    } else {
      map.remove(QString::fromLatin1(c.key));
    }
    EXPECT_EQ(MockDeviceDefine::fromVariant(map).has_value(), c.decodes) << c.key;
  }
  // One bad record spoils the whole file, so the launch option is ignored.
  EXPECT_FALSE(
      MockDeviceDefine::listFromVariant(QVariantList{good, recorder(0xF7A1, 0x0210, qint64{-5})}));
  EXPECT_FALSE(MockDeviceDefine::listFromVariant(good));
  EXPECT_EQ(MockDeviceDefine::listFromVariant(QVariantList{})->size(), 0);
}

TEST(MockServerResponseTest, APackageBesideTheAnswerIsFoundFromAnyWorkingDirectory) {
  QTemporaryDir folder;
  QDir(folder.path()).mkpath(u"packages"_s);
  QFile package(folder.filePath(u"packages/fw 1.zip"_s));
  ASSERT_TRUE(package.open(QIODevice::WriteOnly));
  package.write("PK-package");
  package.close();

  const auto write = [&](const QString& url, qint64 status, qint64 size) {
    FirmwareInfo info;
    info.version = u"2100"_s;
    info.fileURL = url;
    info.fileSize = size;
    const QString path = folder.filePath(u"response.plist"_s);
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(PropertyList::toXml(
        QVariantMap{{u"firmwareInfo"_s, info.keyedArchive()}, {u"httpStatusCode"_s, status}}));
    file.close();
    return MockServerResponse::readFile(path);
  };
  const struct {
    const char* name;
    QString url;
    qint64 status;
    qint64 size;
    std::optional<QByteArray> data;
  } cases[] = {
      {"relative", u"file://packages/fw%201.zip"_s, 200, 10, "PK-package"},
      {"absolute", QUrl::fromLocalFile(package.fileName()).toString(), 200, 10, "PK-package"},
      {"missing file", u"file://packages/none.zip"_s, 200, 10, std::nullopt},
      {"not found", u"file://packages/fw%201.zip"_s, 404, 10, std::nullopt},
      {"remote", u"https://server.example/fw.zip"_s, 200, 5, QByteArray(5, '\0')},
      {"remote, negative size", u"https://server.example/fw.zip"_s, 200, -5, ""},
      {"remote, too large to hold", u"https://server.example/fw.zip"_s, 200, qint64{1} << 40,
       std::nullopt},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const auto response = write(c.url, c.status, c.size);
    ASSERT_TRUE(response);
    EXPECT_EQ(response->httpStatusCode, c.status);
    EXPECT_EQ(response->packageData(), c.data);
  }
  // The stored offer names the package absolutely.
  EXPECT_EQ(write(u"file://packages/fw%201.zip"_s, 200, 10)->firmwareInfo.fileURL,
            QUrl::fromLocalFile(package.fileName()).toString());
}

TEST(AudioDeviceDetectorMockTest, ListsOnlyTheMakersRecordersAndNeverFails) {
  testApplication();
  const auto device = [](int64_t vendor, int64_t pid) {
    return std::make_shared<AudioDevice>(vendor, pid);
  };
  const struct {
    const char* name;
    std::vector<AudioDevicePtr> played;
    size_t devices;
    size_t supported;
  } cases[] = {
      {"none", {}, 0, 0},
      {"foreign vendor", {device(0x1234, 0x0220)}, 0, 0},
      {"out of the product range", {device(0xF7A1, 0x0300), device(0xF7A2, 0x01FF)}, 0, 0},
      {"in range, not a model", {device(0xF7A1, 0x02F0)}, 1, 0},
      {"two models", {device(0xF7A1, 0x0220), device(0xF7A2, 0x0210)}, 2, 2},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    AudioDeviceDetectorMock detector(c.played, 0.001);
    int calls = 0;
    std::optional<AudioDeviceError> error = AudioDeviceError::skelError();
    detector.setCompletion([&](std::optional<AudioDeviceError> result) {
      ++calls;
      error = result;
    });
    detector.detect();
    EXPECT_TRUE(detector.running());
    detector.detect();  // ignored while running: one completion only
    ASSERT_TRUE(processEventsUntil([&] { return calls > 0; }));
    QCoreApplication::processEvents();
    EXPECT_EQ(calls, 1);
    EXPECT_FALSE(error);
    EXPECT_FALSE(detector.running());
    EXPECT_EQ(detector.devices().size(), c.devices);
    EXPECT_EQ(detector.supportedDevices().size(), c.supported);
  }
}

TEST(AudioDeviceDetectorMockTest, EachScanStartsAfreshWithFreshRecords) {
  testApplication();
  AudioDeviceDetectorMock detector({std::make_shared<AudioDevice>(0xF7A1, 0x0220)}, 0.001);
  int scans = 0;
  // The completion starts the second scan itself, as a retry does.
  detector.setCompletion([&](std::optional<AudioDeviceError> /*error*/) {
    if (++scans == 1) {
      detector.devices().front()->deviceID = 1;  // what reading the recorder writes
      detector.detect();
    }
  });
  detector.detect();
  ASSERT_TRUE(processEventsUntil([&] { return scans == 2; }));
  ASSERT_EQ(detector.devices().size(), 1U);
  EXPECT_EQ(detector.devices().front()->deviceID, 0U);
  EXPECT_EQ(detector.mockDevices().front()->deviceID, 0U);
}

TEST(AudioDeviceInterfaceMockTest, AnUpdateReportsEachPieceAndFailsOnlyPastTheThreshold) {
  const struct {
    qsizetype size;
    bool failure;
    bool diskFull;
    std::optional<AudioDeviceError> result;
    int progressCalls;
    int64_t lastDone;
  } cases[] = {
      {0, true, false, std::nullopt, 0, -1},
      {1, false, false, std::nullopt, 1, 0},
      {65536, false, false, std::nullopt, 1, 0},
      {65537, false, false, std::nullopt, 2, 65536},
      {327680, true, false, std::nullopt, 5, 262144},
      {327681, true, false, AudioDeviceError::deviceError(-1), 6, 327680},
      {400000, false, false, std::nullopt, 7, 393216},
      {400000, true, true, AudioDeviceError::diskFullError(), 0, -1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.size << (c.failure ? " failing" : ""));
    AudioDeviceInterfaceMock mock(0ms);
    mock.mockFailure = c.failure;
    mock.mockDiskFullError = c.diskFull;
    AudioDevice device(0xF7A1, 0x0220);
    int calls = 0;
    int64_t lastDone = -1;
    const auto result = mock.updateFirmware(device, QByteArray(c.size, 'x'), u"fw.zip"_s,
                                            [&](int64_t done, int64_t total) {
                                              ++calls;
                                              lastDone = done;
                                              EXPECT_EQ(total, c.size);
                                            });
    EXPECT_EQ(result, c.result);
    EXPECT_EQ(calls, c.progressCalls);
    EXPECT_EQ(lastDone, c.lastDone);
  }
}

TEST(AudioDeviceInterfaceMockTest, TheRecorderReportsWhatDetectionGaveIt) {
  for (const char* code : {"1230", "0100", "2000", "A1F0"}) {
    SCOPED_TRACE(code);
    EXPECT_EQ(versionCodeFromLabel(
                  AudioDeviceInterfaceMock::firmwareVersionLabel(QString::fromLatin1(code))),
              QString::fromLatin1(code));
  }
  EXPECT_EQ(AudioDeviceInterfaceMock::firmwareVersionLabel(u"1230"_s), u"Ver 1.23"_s);
  EXPECT_EQ(AudioDeviceInterfaceMock::firmwareVersionLabel(QString()), u"Ver "_s);

  AudioDeviceInterfaceMock mock(0ms);
  AudioDevice device(0xF7A1, 0x0220);
  device.version = u"2000"_s;
  std::optional<RecorderFirmwareVersion> version;
  EXPECT_EQ(mock.readFirmwareVersion(device, version), 0U);
  EXPECT_EQ(version, (RecorderFirmwareVersion{u"Ver 2.00"_s, 0, u"Ver 2.00"_s}));
  // The mode change answers on the queue it was given, never on the caller's stack.
  SerialQueue queue("device");
  std::binary_semaphore answered(0);
  bool onQueue = false;
  mock.switchRecorderMode(device, queue, [&](std::optional<AudioDeviceError> error) {
    onQueue = queue.isCurrent() && !error;
    answered.release();
  });
  answered.acquire();
  EXPECT_TRUE(onQueue);
}

namespace {

// Downloads on the event loop of the test's thread, with ticks of a millisecond.
class DownloadManagerMockTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { testApplication(); }

  struct Outcome {
    int calls = 0;
    std::optional<QByteArray> data;
    std::optional<NetworkError> error;
  };

  DownloadManager::DataCompletion recordInto(Outcome& outcome) {
    return [&outcome](std::optional<QByteArray> data, std::optional<NetworkError> error) {
      ++outcome.calls;
      outcome.data = std::move(data);
      outcome.error = std::move(error);
    };
  }

  static FirmwareInfo sized(int64_t size) {
    FirmwareInfo info;
    info.fileSize = size;
    return info;
  }

  DownloadManagerMock manager{1ms};
};

}  // namespace

TEST_F(DownloadManagerMockTest, ADownloadEndsWithTheStatusItWasGiven) {
  const struct {
    int status;
    std::optional<QString> error;
    std::optional<NetworkError> expected;
  } cases[] = {
      {200, std::nullopt, std::nullopt},
      {299, std::nullopt, std::nullopt},
      {404, std::nullopt, NetworkError::httpError(404)},
      {0, std::nullopt, NetworkError::httpError(0)},
      {200, u"The connection was lost."_s,
       NetworkError::generalError(u"The connection was lost."_s)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.status);
    manager.dammyHttpStatusCode = c.status;
    manager.dammyError = c.error;
    manager.dammyData = QByteArray("package");
    Outcome outcome;
    manager.downloadFirmware(sized(2500000), recordInto(outcome));
    EXPECT_EQ(manager.downloadedSizeAct(), 0);
    EXPECT_TRUE(manager.startDate());
    ASSERT_TRUE(processEventsUntil([&] { return outcome.calls > 0; }));
    EXPECT_EQ(outcome.error, c.expected);
    EXPECT_EQ(outcome.data, QByteArray("package"));
    EXPECT_EQ(manager.firmwareSizeAct(), 2500000);
    EXPECT_EQ(manager.downloadedSizeAct(), 2500000);
    EXPECT_FALSE(manager.isDownloading());
    // Nothing is left to call: a late cancel (the window's button) stays silent.
    manager.cancelDownload();
    QCoreApplication::processEvents();
    EXPECT_EQ(outcome.calls, 1);
  }
}

TEST_F(DownloadManagerMockTest, CancellingEndsTheRunningDownloadOnce) {
  manager.cancelDownload();  // nothing running: nothing happens

  Outcome first;
  Outcome dropped;
  manager.downloadFirmware(sized(int64_t{1} << 40), recordInto(first));
  manager.downloadFirmware(sized(10), recordInto(dropped));  // dropped while one runs
  EXPECT_EQ(manager.firmwareSizeAct(), int64_t{1} << 40);
  processEventsUntil([&] { return manager.downloadedSizeAct() > 0; });
  manager.cancelDownload();
  manager.cancelDownload();
  ASSERT_EQ(first.calls, 1);
  EXPECT_EQ(first.error, NetworkError::userCancelled());
  EXPECT_FALSE(first.data);
  EXPECT_FALSE(manager.isDownloading());

  // A retried download starts from nothing, not from where the cancelled one stopped.
  Outcome retried;
  manager.downloadFirmware(sized(3 * DownloadManagerMock::kBytesPerTick), recordInto(retried));
  EXPECT_EQ(manager.downloadedSizeAct(), 0);
  ASSERT_TRUE(processEventsUntil([&] { return retried.calls > 0; }));
  EXPECT_EQ(dropped.calls, 0);
}
