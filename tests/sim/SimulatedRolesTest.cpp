// What the terminal runs with the launch options (tests/text) cannot reach in the simulated
// roles: files the options ignore, package addresses other than the examples', and the
// simulated update's pieces and failure threshold.
#include "app/sim/AudioDeviceDetectorMock.h"
#include "app/sim/AudioDeviceInterfaceMock.h"
#include "app/sim/LaunchRoles.h"
#include "app/sim/MockServerResponse.h"
#include "platform/PropertyList.h"
#include "tests/support/QStringPrinter.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

using namespace std::chrono_literals;

namespace {

const QString kExamples = QStringLiteral(TARNWELL_SOURCE_DIR "/resources/examples/mock/");

// Writes `contents` as a property list to `path`.
QString writePlist(const QString& path, const QVariant& contents) {
  QFile out(path);
  EXPECT_TRUE(out.open(QIODevice::WriteOnly));
  out.write(PropertyList::toXml(contents));
  return path;
}

LaunchRoles::Simulated simulate(const QStringList& arguments) {
  auto installed =
      LaunchRoles::install(LaunchOptions::parse(QStringList{u"tarnwell"_s} + arguments));
  EXPECT_TRUE(std::holds_alternative<std::unique_ptr<LaunchRoles>>(installed));
  return std::get<std::unique_ptr<LaunchRoles>>(installed)->simulated();
}

}  // namespace

TEST(LaunchRolesTest, AFileThatDoesNotDecodeLeavesTheRoleInPlace) {
  QTemporaryDir scratch;
  const QVariantMap good =
      PropertyList::readFile(kExamples + u"devices-one.plist"_s)->toList().value(0).toMap();
  // A file of a good record and one with `key` set to `value` (removed when invalid).
  int files = 0;
  const auto devices = [&](const QString& key, const QVariant& value) {
    QVariantMap changed = good;
    if (value.isValid()) {
      changed.insert(key, value);
    } else {
      changed.remove(key);
    }
    const QString path = scratch.filePath(u"devices%1.plist"_s.arg(++files));
    return u"--mock_devices="_s + writePlist(path, QVariantList{good, changed});
  };
  const QString fail = u"--mock_device_fail"_s;
  const QString noStatus =
      writePlist(scratch.filePath(u"response.plist"_s),
                 QVariantMap{{u"firmwareInfo"_s, FirmwareInfo().keyedArchive()}});
  const QStringList ignored[] = {
      {devices(u"deviceId"_s, qint64{-1})},  // would wrap into an unsigned device ID
      {devices(u"vendorId"_s, u"F7A1"_s)},
      {devices(u"usbPid"_s, true)},
      {devices(u"usbPid"_s, 2.5)},
      {devices(u"version"_s, qint64{2000})},
      {devices(u"deviceName"_s, QVariant())},
      {u"--mock_devices="_s + writePlist(scratch.filePath(u"map.plist"_s), good), fail},
      {u"--mock_devices="_s + scratch.filePath(u"absent.plist"_s)},
      {u"--mock_response="_s + noStatus},
      {u"--mock_response="_s + kExamples + u"devices-one.plist"_s},
      {u"--mock_nonetwork"_s},
  };
  for (const QStringList& arguments : ignored) {
    SCOPED_TRACE(arguments.join(u' ').toStdString());
    const LaunchRoles::Simulated roles = simulate(arguments);
    EXPECT_FALSE(roles.environment);
    EXPECT_FALSE(roles.deviceDetector);
    EXPECT_FALSE(roles.deviceInterface);
    EXPECT_FALSE(roles.downloadManager);
    EXPECT_FALSE(roles.updaterInfo);
  }
  // An unusable file after a usable one keeps the first, faults included.
  const LaunchRoles::Simulated kept =
      simulate({devices(u"deviceId"_s, qint64{0}), fail, devices(u"deviceId"_s, qint64{-1})});
  const auto* first = dynamic_cast<AudioDeviceInterfaceMock*>(kept.deviceInterface.get());
  ASSERT_NE(first, nullptr);
  EXPECT_TRUE(first->mockFailure);
  EXPECT_EQ(dynamic_cast<AudioDeviceDetectorMock&>(*kept.deviceDetector).mockDevices().size(), 2U);
}

TEST(MockServerResponseTest, DeliversAPackageOnlyWithStatus200AndWithinTheLimit) {
  QTemporaryDir folder;
  const struct {
    const char* name;
    QString url;
    qint64 status;
    qint64 size;
    std::optional<QByteArray> data;
  } cases[] = {
      {"missing file", u"file://none.zip"_s, 200, 10, std::nullopt},
      {"not found", u"file://fw%201.zip"_s, 404, 10, std::nullopt},
      {"remote", u"https://server.example/fw.zip"_s, 200, 5, QByteArray(5, '\0')},
      {"remote, negative size", u"https://server.example/fw.zip"_s, 200, -5, ""},
      {"remote, too large to hold", u"https://server.example/fw.zip"_s, 200, qint64{1} << 40,
       std::nullopt},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    FirmwareInfo info;
    info.fileURL = c.url;
    info.fileSize = c.size;
    const auto response = MockServerResponse::readFile(writePlist(
        folder.filePath(u"response.plist"_s),
        QVariantMap{{u"firmwareInfo"_s, info.keyedArchive()}, {u"httpStatusCode"_s, c.status}}));
    ASSERT_TRUE(response);
    EXPECT_EQ(response->httpStatusCode, c.status);
    EXPECT_EQ(response->packageData(), c.data);
  }
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
