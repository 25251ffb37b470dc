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
    auto installed = LaunchRoles::install(
        LaunchOptions::parse(QStringList{QStringLiteral("tarnwell")} + arguments));
    EXPECT_TRUE(std::holds_alternative<std::unique_ptr<LaunchRoles>>(installed));
    return std::get<std::unique_ptr<LaunchRoles>>(installed)->simulated();
  }

  QTemporaryDir scratch;
};

}  // namespace

TEST_F(LaunchRolesTest, FaultsActOnlyOnTheInterfaceInstalledBeforeThem) {
  const QString devices = kExamples + QStringLiteral("devices-one.plist");
  const QString option = QStringLiteral("--mock_devices=") + devices;
  const QString fail = QStringLiteral("--mock_device_fail");
  const QString full = QStringLiteral("--mock_device_diskfull");
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
    EXPECT_EQ(played->mockDevices().front()->deviceName, QStringLiteral("VR-5201"));
  }
}

TEST_F(LaunchRolesTest, AFileThatDoesNotDecodeLeavesTheRoleInPlace) {
  const QString negative =
      file(QStringLiteral("negative.plist"),
           QVariantList{QVariantMap{{QStringLiteral("vendorId"), 0xF7A1},
                                    {QStringLiteral("usbPid"), 0x0220},
                                    {QStringLiteral("deviceId"), -1},
                                    {QStringLiteral("deviceName"), QStringLiteral("VR")},
                                    {QStringLiteral("version"), QStringLiteral("2000")}}});
  const QString notAnArray = file(QStringLiteral("map.plist"), QVariantMap{});
  const QString noStatus =
      file(QStringLiteral("response.plist"),
           QVariantMap{{QStringLiteral("firmwareInfo"), FirmwareInfo().keyedArchive()}});
  const QStringList ignored[] = {
      {QStringLiteral("--mock_devices=") + negative},
      {QStringLiteral("--mock_devices=") + notAnArray, QStringLiteral("--mock_device_fail")},
      {QStringLiteral("--mock_devices=") + scratch.filePath(QStringLiteral("absent.plist"))},
      {QStringLiteral("--mock_devices=a=b")},
      {QStringLiteral("--mock_response=") + noStatus},
      {QStringLiteral("--mock_response=") + kExamples + QStringLiteral("devices-one.plist")},
      {QStringLiteral("--mock_nonetwork")},
      {QStringLiteral("--instance_count=x"), QStringLiteral("--instance_count=")},
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
  const LaunchRoles::Simulated roles = simulate(
      {QStringLiteral("--mock_devices=") + kExamples + QStringLiteral("devices-two.plist"),
       QStringLiteral("--mock_device_fail"), QStringLiteral("--mock_devices=") + negative});
  const auto* kept = dynamic_cast<AudioDeviceInterfaceMock*>(roles.deviceInterface.get());
  ASSERT_NE(kept, nullptr);
  EXPECT_TRUE(kept->mockFailure);
  EXPECT_EQ(dynamic_cast<AudioDeviceDetectorMock&>(*roles.deviceDetector).mockDevices().size(), 2U);
}

TEST_F(LaunchRolesTest, TheSimulatedServerOffersTheAnswersFirmware) {
  for (const bool noNetwork : {false, true}) {
    SCOPED_TRACE(noNetwork);
    QStringList arguments{QStringLiteral("--mock_response=") + kExamples +
                          QStringLiteral("response-newer.plist")};
    if (noNetwork) {
      arguments.prepend(QStringLiteral("--mock_nonetwork"));
    }
    const LaunchRoles::Simulated roles = simulate(arguments);
    const auto* server = dynamic_cast<DownloadManagerMock*>(roles.downloadManager.get());
    ASSERT_NE(server, nullptr);
    EXPECT_EQ(server->isConnectedToInternet, !noNetwork);
    EXPECT_EQ(server->dammyHttpStatusCode, 200);
    ASSERT_TRUE(server->dammyData);
    EXPECT_EQ(server->dammyData->size(), server->firmwareInfo->fileSize);
    ASSERT_TRUE(roles.updaterInfo && roles.updaterInfo->firmwareInfo);
    EXPECT_EQ(roles.updaterInfo->firmwareInfo->version, QStringLiteral("2100"));
    EXPECT_FALSE(roles.environment);
  }
  const LaunchRoles::Simulated roles = simulate(
      {QStringLiteral("--mock_response=") + kExamples + QStringLiteral("response-404.plist"),
       QStringLiteral("--instance_count=2")});
  const auto* notFound = dynamic_cast<DownloadManagerMock*>(roles.downloadManager.get());
  ASSERT_NE(notFound, nullptr);
  EXPECT_EQ(notFound->dammyHttpStatusCode, 404);
  EXPECT_FALSE(notFound->dammyData);
  EXPECT_EQ(roles.environment->instanceCount(), 2);
}
