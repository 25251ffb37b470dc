#include "app/sim/AudioDeviceDetectorMock.h"
#include "app/sim/AudioDeviceInterfaceMock.h"
#include "app/sim/DownloadManagerMock.h"
#include "app/sim/LaunchRoles.h"
#include "platform/PropertyList.h"
#include "tests/support/QStringPrinter.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

const QString kExamples = QStringLiteral(TARNWELL_SOURCE_DIR "/resources/examples/mock/");

class LaunchRolesTest : public ::testing::Test {
 protected:
  QString file(const QString& name, const QVariant& contents) const {
    QString path = scratch.filePath(name);
    QFile out(path);
    EXPECT_TRUE(out.open(QIODevice::WriteOnly));
    out.write(PropertyList::toXml(contents));
    return path;
  }

  static LaunchRoles::Simulated simulate(const QStringList& arguments) {
    auto installed =
        LaunchRoles::install(LaunchOptions::parse(QStringList{u"tarnwell"_s} + arguments));
    EXPECT_TRUE(std::holds_alternative<std::unique_ptr<LaunchRoles>>(installed));
    return std::get<std::unique_ptr<LaunchRoles>>(installed)->simulated();
  }

  QTemporaryDir scratch;
};

}  // namespace

TEST_F(LaunchRolesTest, FaultsActOnlyOnTheInterfaceInstalledBeforeThem) {
  const QString devices = kExamples + u"devices-one.plist"_s;
  const QString option = u"--mock_devices="_s + devices;
  const QString fail = u"--mock_device_fail"_s;
  const QString full = u"--mock_device_diskfull"_s;
  const struct {
    const char* name;
    QStringList arguments;
    bool failure;
    bool diskFull;
  } cases[] = {
      {"none", {option}, false, false},
      {"after", {option, fail, full}, true, true},
      {"before", {fail, full, option}, false, false},
      {"a later interface starts clean", {option, fail, option, full}, false, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const LaunchRoles::Simulated roles = simulate(c.arguments);
    const auto* installed = dynamic_cast<AudioDeviceInterfaceMock*>(roles.deviceInterface.get());
    ASSERT_NE(installed, nullptr);
    EXPECT_EQ(installed->mockFailure, c.failure);
    EXPECT_EQ(installed->mockDiskFullError, c.diskFull);
    EXPECT_FALSE(installed->mockProductInfo);
    const auto* played = dynamic_cast<AudioDeviceDetectorMock*>(roles.deviceDetector.get());
    ASSERT_NE(played, nullptr);
    EXPECT_EQ(played->mockDeviceInterval(), 1.0);
    ASSERT_EQ(played->mockDevices().size(), 1U);
    EXPECT_EQ(played->mockDevices().front()->deviceName, u"VR-5201"_s);
  }
}

TEST_F(LaunchRolesTest, AFileThatDoesNotDecodeLeavesTheRoleInPlace) {
  const QString negative =
      file(u"negative.plist"_s, QVariantList{QVariantMap{{u"vendorId"_s, 0xF7A1},
                                                         {u"usbPid"_s, 0x0220},
                                                         {u"deviceId"_s, -1},
                                                         {u"deviceName"_s, u"VR"_s},
                                                         {u"version"_s, u"2000"_s}}});
  const QString notAnArray = file(u"map.plist"_s, QVariantMap{});
  const QString noStatus =
      file(u"response.plist"_s, QVariantMap{{u"firmwareInfo"_s, FirmwareInfo().keyedArchive()}});
  const QStringList ignored[] = {
      {u"--mock_devices="_s + negative},
      {u"--mock_devices="_s + notAnArray, u"--mock_device_fail"_s},
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
  const LaunchRoles::Simulated roles =
      simulate({u"--mock_devices="_s + kExamples + u"devices-two.plist"_s, u"--mock_device_fail"_s,
                u"--mock_devices="_s + negative});
  const auto* kept = dynamic_cast<AudioDeviceInterfaceMock*>(roles.deviceInterface.get());
  ASSERT_NE(kept, nullptr);
  EXPECT_TRUE(kept->mockFailure);
  EXPECT_EQ(dynamic_cast<AudioDeviceDetectorMock&>(*roles.deviceDetector).mockDevices().size(), 2U);
}

TEST_F(LaunchRolesTest, TheSimulatedServerOffersTheAnswersFirmware) {
  for (const bool noNetwork : {false, true}) {
    SCOPED_TRACE(noNetwork);
    QStringList arguments{u"--mock_response="_s + kExamples + u"response-newer.plist"_s};
    if (noNetwork) {
      arguments.prepend(u"--mock_nonetwork"_s);
    }
    const LaunchRoles::Simulated roles = simulate(arguments);
    const auto* server = dynamic_cast<DownloadManagerMock*>(roles.downloadManager.get());
    ASSERT_NE(server, nullptr);
    EXPECT_EQ(server->isConnectedToInternet, !noNetwork);
    EXPECT_EQ(server->dammyHttpStatusCode, 200);
    ASSERT_TRUE(server->dammyData);
    EXPECT_EQ(server->dammyData->size(), server->firmwareInfo->fileSize);
    ASSERT_TRUE(roles.updaterInfo && roles.updaterInfo->firmwareInfo);
    EXPECT_EQ(roles.updaterInfo->firmwareInfo->version, u"2100"_s);
    EXPECT_FALSE(roles.environment);
  }
  const LaunchRoles::Simulated roles = simulate(
      {u"--mock_response="_s + kExamples + u"response-404.plist"_s, u"--instance_count=2"_s});
  const auto* notFound = dynamic_cast<DownloadManagerMock*>(roles.downloadManager.get());
  ASSERT_NE(notFound, nullptr);
  EXPECT_EQ(notFound->dammyHttpStatusCode, 404);
  EXPECT_FALSE(notFound->dammyData);
  EXPECT_EQ(roles.environment->instanceCount(), 2);
}
