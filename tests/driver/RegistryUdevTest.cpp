#include "app/device/AudioDeviceDetectorReal.h"
#include "app/device/RecorderVolumes.h"
#include "app/device/ScsiTransport.h"
#include "driver/DriverIdentity.h"
#include "platform/registry/UdevRegistry.h"
#include "tests/device/DetectorTestSupport.h"
#include "tests/platform/VolumeTestSupport.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>
#include <scsi/sg.h>
#include <umockdev.h>

#include <array>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

// Runs under umockdev-wrapper: the testbed stands in for /sys and /dev, and SG_IO on the
// recorder's sg node is answered by a handler in this process, so the real pass-through
// path (libudev, the driver, sg_pt, the transport, detection) runs without hardware.
namespace {

constexpr const char* kRecorderPath = "/sys/devices/pci0000:00/0000:00:14.0/usb2/2-1";

// What reached the sg node, and what the recorder behind it answers.
struct SgRecorder {
  struct Seen {
    std::vector<uint8_t> cdb;
    int direction = 0;
    unsigned int length = 0;
    unsigned int timeout = 0;
    std::vector<uint8_t> dataOut;
  };
  std::mutex mutex;
  std::vector<Seen> seen;
};

gboolean onIoctl(UMockdevIoctlBase* /*handler*/, UMockdevIoctlClient* client, gpointer data) {
  if (umockdev_ioctl_client_get_request(client) != SG_IO) {
    return FALSE;
  }
  auto* recorder = static_cast<SgRecorder*>(data);
  GError* error = nullptr;
  UMockdevIoctlData* argument = umockdev_ioctl_client_get_arg(client);
  UMockdevIoctlData* header = umockdev_ioctl_data_resolve(argument, 0, sizeof(sg_io_hdr_t), &error);
  if (header == nullptr) {
    g_clear_error(&error);
    umockdev_ioctl_client_complete(client, -1, EFAULT);
    return TRUE;
  }
  sg_io_hdr_t h;
  std::memcpy(&h, header->data, sizeof h);
  UMockdevIoctlData* cdb = umockdev_ioctl_data_resolve(
      header, static_cast<gint>(offsetof(sg_io_hdr_t, cmdp)), h.cmd_len, &error);
  SgRecorder::Seen seen;
  seen.cdb.assign(cdb->data, cdb->data + h.cmd_len);
  seen.direction = h.dxfer_direction;
  seen.length = h.dxfer_len;
  seen.timeout = h.timeout;
  UMockdevIoctlData* buffer =
      h.dxfer_len > 0
          ? umockdev_ioctl_data_resolve(header, static_cast<gint>(offsetof(sg_io_hdr_t, dxferp)),
                                        h.dxfer_len, &error)
          : nullptr;
  if (buffer != nullptr && h.dxfer_direction == SG_DXFER_TO_DEV) {
    seen.dataOut.assign(buffer->data, buffer->data + h.dxfer_len);
  }
  h.status = 0;
  h.masked_status = 0;
  h.host_status = 0;
  h.driver_status = 0;
  h.sb_len_wr = 0;
  h.resid = 0;
  h.info = 0;
  if (seen.cdb[0] == 0xE1) {  // this recorder refuses E1 with ILLEGAL REQUEST
    std::array<guint8, 18> sense{0x70, 0, 0x05, 0, 0, 0, 0, 0x0A, 0, 0, 0, 0, 0x20};
    UMockdevIoctlData* senseBuffer = umockdev_ioctl_data_resolve(
        header, static_cast<gint>(offsetof(sg_io_hdr_t, sbp)), h.mx_sb_len, &error);
    const auto senseBytes = static_cast<gint>(std::min<size_t>(sense.size(), h.mx_sb_len));
    umockdev_ioctl_data_update(senseBuffer, 0, sense.data(), senseBytes);
    h.status = 0x02;
    h.masked_status = 0x01;
    h.driver_status = 0x08;  // DRIVER_SENSE
    h.sb_len_wr = static_cast<unsigned char>(std::min<size_t>(sense.size(), h.mx_sb_len));
    h.info = SG_INFO_CHECK;
  } else if (buffer != nullptr && h.dxfer_direction == SG_DXFER_FROM_DEV) {
    std::array<guint8, 8> answer{'K', 'V', '-', '4', '1', '1', '0', 0};
    umockdev_ioctl_data_update(buffer, 0, answer.data(),
                               static_cast<gint>(std::min<size_t>(8, h.dxfer_len)));
    h.resid = static_cast<int>(h.dxfer_len) - static_cast<int>(std::min<size_t>(8, h.dxfer_len));
  }
  g_clear_error(&error);
  umockdev_ioctl_data_update(header, offsetof(sg_io_hdr_t, status),
                             reinterpret_cast<guint8*>(&h) + offsetof(sg_io_hdr_t, status),
                             sizeof h - offsetof(sg_io_hdr_t, status));
  {
    const std::scoped_lock lock(recorder->mutex);
    recorder->seen.push_back(std::move(seen));
  }
  umockdev_ioctl_client_complete(client, 0, 0);
  return TRUE;
}

// The one umockdev set-up: a testbed loaded from the recorded trees under tests/data/driver,
// and the recorder's sg node answered by onIoctl.
class UdevRegistryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    testbed_ = umockdev_testbed_new();
    if (!umockdev_in_mock_environment()) {
      GTEST_SKIP() << "needs umockdev-wrapper";
    }
  }
  void TearDown() override {
    Registry::setShared(nullptr);
    if (handler_ != nullptr) {
      g_object_unref(handler_);
    }
    g_object_unref(testbed_);
  }

  void load(const char* tree) {
    GError* error = nullptr;
    const std::string path = std::string(TARNWELL_TEST_DATA_DIR) + "/driver/" + tree;
    ASSERT_TRUE(umockdev_testbed_add_from_file(testbed_, path.c_str(), &error))
        << (error != nullptr ? error->message : "");
  }

  // Must be attached before anything opens the node.
  void answerSgIo() {
    handler_ = umockdev_ioctl_base_new();
    g_signal_connect(handler_, "handle-ioctl", reinterpret_cast<GCallback>(&onIoctl), &sg_);
    GError* error = nullptr;
    ASSERT_TRUE(umockdev_testbed_attach_ioctl(testbed_, "/dev/sg2", handler_, &error))
        << (error != nullptr ? error->message : "");
  }

  RegistryEntryRef recorderEntry(Registry& registry) {
    for (const auto& device : registry.matchingServices("IOUSBHostDevice")) {
      if (device->location() == "2-1") {
        return device;
      }
    }
    return nullptr;
  }

  RegistryEntryRef driverEntry(Registry& registry) {
    const auto below = registry.findChildren(recorderEntry(registry), [](const auto& entry) {
      return entry.className() == DriverIdentity::kDeviceClassName;
    });
    return below.empty() ? nullptr : below.front();
  }

  // One read through the application's transport; 8 bytes of data in.
  static ScsiOutcome read(Registry& registry, uint32_t connection, uint8_t opcode,
                          std::array<uint8_t, 8>& data, std::optional<uint32_t> timeout = {}) {
    const std::array<uint8_t, 16> cdb{opcode};
    return sendScsiCommand(&registry, connection, ScsiDataDirection::dataIn, cdb, data, timeout);
  }

  UMockdevTestbed* testbed_ = nullptr;
  UMockdevIoctlBase* handler_ = nullptr;
  SgRecorder sg_;
};

TEST_F(UdevRegistryTest, ShowsARecordedRecorderWithItsDriverEntry) {
  load("recorder-claimed.umockdev");
  UdevRegistry registry;
  const auto usb = recorderEntry(registry);
  ASSERT_NE(usb, nullptr);
  EXPECT_EQ(usb->integerProperty("idVendor"), 0xF7A1);
  EXPECT_EQ(usb->integerProperty("idProduct"), 0x0210);
  std::vector<std::string> shape;
  for (const auto& entry : registry.findChildren(usb, [](const auto&) { return true; })) {
    std::string line = entry->className() + " " + entry->location();
    if (const auto whole = entry->property("Whole")) {
      line += std::get<bool>(*whole) ? " whole" : " part";
    }
    shape.push_back(line);
  }
  EXPECT_EQ(shape, (std::vector<std::string>{
                       "IOUSBHostInterface 2-1:1.0", "IOUSBMassStorageDriver host6",
                       "IOSCSILogicalUnitNub 6:0:0:0", "com_korvane_DSSBlockCommandsDevice 6:0:0:0",
                       "IOMedia sdb whole", "IOMedia sdb1 part", "IOMedia sdb2 part"}));
  const auto interface = registry.children(usb).front();
  EXPECT_EQ(interface->integerProperty("bInterfaceClass"), 8);
  EXPECT_EQ(interface->integerProperty("idVendor"), 0xF7A1);
  // A second scan keeps the entries, so open connections stay valid.
  const auto driver = driverEntry(registry);
  EXPECT_EQ(driverEntry(registry), driver);
}

TEST_F(UdevRegistryTest, LeavesOtherDevicesUnclaimed) {
  struct Row {
    const char* tree;
    const char* why;
  };
  for (const Row row : {Row{"foreign-vendor.umockdev", "foreign vendor"},
                        Row{"product-out-of-range.umockdev", "product 0x0205"},
                        Row{"unclaimed.umockdev", "the rule did not mark it"}}) {
    SCOPED_TRACE(row.why);
    load(row.tree);
    UdevRegistry registry;
    const auto usb = recorderEntry(registry);
    ASSERT_NE(usb, nullptr);
    EXPECT_EQ(driverEntry(registry), nullptr);
    const auto media = registry.findChildren(
        usb, [](const auto& entry) { return entry.className() == "IOMedia"; });
    ASSERT_EQ(media.size(), 3U);
    const RegistryEntry& disk = *media.front();
    const RegistryEntryRef holder = disk.parent();
    ASSERT_NE(holder, nullptr);
    EXPECT_EQ(holder->className(), "IOSCSILogicalUnitNub");
    g_object_unref(testbed_);
    testbed_ = umockdev_testbed_new();
  }
}

TEST_F(UdevRegistryTest, ADriverEntryWithoutSgNodeCannotBeOpened) {
  load("no-sg-node.umockdev");
  UdevRegistry registry;
  const auto driver = driverEntry(registry);
  ASSERT_NE(driver, nullptr);
  uint32_t connection = 0;
  EXPECT_EQ(registry.openUserClient(driver, 0, &connection), kIOReturnNoDevice);
}

TEST_F(UdevRegistryTest, RequestsReachTheSgNodeThroughSgPt) {
  load("recorder-claimed.umockdev");
  answerSgIo();
  UdevRegistry registry;
  const auto driver = driverEntry(registry);
  ASSERT_NE(driver, nullptr);
  uint32_t connection = 0;
  ASSERT_EQ(registry.openUserClient(driver, 0, &connection), kIOReturnSuccess);

  std::array<uint8_t, 8> data{};
  const ScsiOutcome model = read(registry, connection, 0xE0, data);
  EXPECT_EQ(model.result, kIOReturnSuccess);
  EXPECT_EQ(model.status, 0U);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(data.data())), "KV-4110");

  const ScsiOutcome refused = read(registry, connection, 0xE1, data, 1500);
  EXPECT_EQ(refused.result, kIOReturnIOError);
  EXPECT_EQ(refused.status, 2U);
  EXPECT_EQ(refused.senseText(),
            QStringLiteral("Illegal Request, Additional sense: Invalid command operation code"));

  const std::scoped_lock lock(sg_.mutex);
  ASSERT_EQ(sg_.seen.size(), 2U);
  EXPECT_EQ(sg_.seen[0].cdb.size(), 16U);
  EXPECT_EQ(sg_.seen[0].direction, SG_DXFER_FROM_DEV);
  EXPECT_EQ(sg_.seen[0].length, 8U);
  EXPECT_EQ(sg_.seen[0].timeout, 10000U);
  EXPECT_EQ(sg_.seen[1].cdb[0], 0xE1);
  EXPECT_EQ(sg_.seen[1].timeout, 2000U);  // sg_pt counts whole seconds
}

TEST_F(UdevRegistryTest, ARecorderThatWentAwayFailsItsConnection) {
  load("recorder-claimed.umockdev");
  answerSgIo();
  UdevRegistry registry;
  uint32_t connection = 0;
  ASSERT_EQ(registry.openUserClient(driverEntry(registry), 0, &connection), kIOReturnSuccess);
  umockdev_testbed_remove_device(testbed_, kRecorderPath);
  std::array<uint8_t, 8> data{};
  EXPECT_EQ(read(registry, connection, 0xE0, data).result, 0x10000003U);
  EXPECT_EQ(recorderEntry(registry), nullptr);
}

// tarnwell-tool inherits the testbed, so it sees the same recorder and sg node.
TEST_F(UdevRegistryTest, TheToolShowsTheRecorderAndSendsACommand) {
  load("recorder-claimed.umockdev");
  answerSgIo();
  const auto run = [](const std::string& arguments, std::string* output) {
    const std::string command = std::string(TARNWELL_TOOL_PATH) + " " + arguments + " 2>&1";
    FILE* pipe = popen(command.c_str(), "r");
    std::array<char, 4096> chunk{};
    size_t count = 0;
    while ((count = std::fread(chunk.data(), 1, chunk.size(), pipe)) > 0) {
      output->append(chunk.data(), count);
    }
    return WEXITSTATUS(pclose(pipe));
  };
  std::string tree;
  const int status = run("registry", &tree);
  if (status == 2 && tree.find("unknown command") != std::string::npos) {
    GTEST_SKIP() << "this tarnwell-tool has no driver commands";
  }
  EXPECT_EQ(status, 0) << tree;
  EXPECT_NE(tree.find("class=com_korvane_DSSBlockCommandsDevice"), std::string::npos) << tree;
  EXPECT_NE(tree.find("BSD Name=\"sdb2\""), std::string::npos) << tree;

  std::string answer;
  EXPECT_EQ(run("scsi --cdb E0000008000000000000000000000000 --in 8", &answer), 0) << answer;
  EXPECT_NE(answer.find("data=4B562D3431313000"), std::string::npos) << answer;
  std::string refused;
  EXPECT_EQ(run("scsi --cdb E1000000000000000000000000000000 --in 8 --timeout 1000", &refused), 1)
      << refused;
  EXPECT_NE(refused.find("status=0x02"), std::string::npos) << refused;
}

TEST_F(UdevRegistryTest, OpensTheClaimedRecordersSgNode) {
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

TEST_F(UdevRegistryTest, ARecorderTheRuleDidNotMarkHasNoDriver) {
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
TEST_F(UdevRegistryTest, FindsTheVolumesMountedFromTheRecordersPartitions) {
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
  const QList<QUrl> volumes = RecorderVolumes::find(*detector.devices().front());
  EXPECT_EQ(volumes, (QList<QUrl>{QUrl::fromLocalFile(QString::fromStdString(second.path())),
                                  QUrl::fromLocalFile(QString::fromStdString(first.path()))}));
}

}  // namespace
