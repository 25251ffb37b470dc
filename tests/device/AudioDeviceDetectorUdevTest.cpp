#include "app/device/AudioDeviceDetectorReal.h"
#include "app/device/AudioDeviceInterfaceReal.h"
#include "driver/DriverIdentity.h"
#include "platform/registry/UdevRegistry.h"
#include "tests/device/DetectorTestSupport.h"
#include "tests/platform/VolumeTestSupport.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>
#include <umockdev.h>

#include <chrono>
#include <string>

// Detection over the system's registry backend: udev, with a testbed standing in for /sys
// and /dev. Runs under umockdev-wrapper and skips without it.
namespace {

class AudioDeviceDetectorUdevTest : public ::testing::Test {
 protected:
  void SetUp() override {
    testbed_ = umockdev_testbed_new();
    if (!umockdev_in_mock_environment()) {
      GTEST_SKIP() << "needs umockdev-wrapper";
    }
  }
  void TearDown() override {
    Registry::setShared(nullptr);
    g_object_unref(testbed_);
  }

  void load(const char* tree) {
    GError* error = nullptr;
    const std::string path = std::string(TARNWELL_TEST_DATA_DIR) + "/driver/" + tree;
    ASSERT_TRUE(umockdev_testbed_add_from_file(testbed_, path.c_str(), &error))
        << (error != nullptr ? error->message : "");
  }

  UMockdevTestbed* testbed_ = nullptr;
};

TEST_F(AudioDeviceDetectorUdevTest, OpensTheClaimedRecordersSgNode) {
  load("recorder-claimed.umockdev");
  Registry::setShared(std::make_shared<UdevRegistry>());
  AudioDeviceDetectorReal detector(std::chrono::milliseconds(0), {});
  ASSERT_EQ(detectOnce(detector), std::nullopt);
  const auto devices = detector.devices();
  ASSERT_EQ(devices.size(), 1U);
  EXPECT_EQ(devices[0]->usbVendorID, 0xF7A1);
  EXPECT_EQ(devices[0]->usbPID, 0x0210);
  EXPECT_EQ(devices[0]->driverEntry->className(), DriverIdentity::kDeviceClassName);
  EXPECT_NE(devices[0]->driverEntry->dataPort(), 0U);
  EXPECT_EQ(detector.supportedDevices(), devices);
}

TEST_F(AudioDeviceDetectorUdevTest, ARecorderTheRuleDidNotMarkHasNoDriver) {
  load("unclaimed.umockdev");
  Registry::setShared(std::make_shared<UdevRegistry>());
  const QTemporaryDir rules;
  QFile file(QDir(rules.path()).filePath(QLatin1String(DriverIdentity::kRulesFileName.data())));
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.close();
  AudioDeviceDetectorReal absent(std::chrono::milliseconds(0), {});
  EXPECT_EQ(detectOnce(absent), AudioDeviceError::deviceError(14));
  AudioDeviceDetectorReal installed(std::chrono::milliseconds(0), {rules.path()});
  EXPECT_EQ(detectOnce(installed), AudioDeviceError::skelError());
}

// The recorder's partitions (sdb1, sdb2 in the testbed) matched against the real mount
// table: tmpfs file systems mounted from those names, and one from another disk.
TEST_F(AudioDeviceDetectorUdevTest, FindsTheVolumesMountedFromTheRecordersPartitions) {
  load("recorder-claimed.umockdev");
  testApplication();
  const TmpfsMount second("/dev/sdb2");
  SKIP_WITHOUT_MOUNT(second);
  const TmpfsMount unrelated("/dev/sdc1");
  const TmpfsMount first("/dev/sdb1");
  Registry::setShared(std::make_shared<UdevRegistry>());
  AudioDeviceDetectorReal detector(std::chrono::milliseconds(0), {});
  ASSERT_EQ(detectOnce(detector), std::nullopt);
  ASSERT_EQ(detector.devices().size(), 1U);
  AudioDeviceInterfaceReal deviceInterface;
  const QList<QUrl> volumes = deviceInterface.findRecorderVolumes(*detector.devices().front());
  EXPECT_EQ(volumes, (QList<QUrl>{QUrl::fromLocalFile(QString::fromStdString(second.path())),
                                  QUrl::fromLocalFile(QString::fromStdString(first.path()))}));
}

}  // namespace
