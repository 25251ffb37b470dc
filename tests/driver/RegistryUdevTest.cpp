#include "app/device/AudioDeviceDetectorReal.h"
#include "app/device/RecorderVolumes.h"
#include "app/device/ScsiTransport.h"
#include "driver/DriverIdentity.h"
#include "platform/registry/UdevRegistry.h"
#include "tests/device/DetectorTestSupport.h"
#include "tests/platform/VolumeTestSupport.h"
#include "tests/support/ToolProcess.h"

#include <gtest/gtest.h>
#include <scsi/sg.h>
#include <umockdev.h>

#include <array>
#include <cstddef>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

// Runs under umockdev-wrapper: the testbed stands in for /sys and /dev, and SG_IO on the
// recorder's sg node is answered by a handler in this process, so the real pass-through
// path (libudev, the driver, sg_pt, the transport, detection) runs without hardware.
namespace {

using namespace Qt::StringLiterals;

constexpr const char* kRecorderPath = "/sys/devices/pci0000:00/0000:00:14.0/usb2/2-1";

// What reached the sg node, and what the recorder behind it answers.
struct SgRecorder {
  struct Seen {
    std::vector<uint8_t> cdb;
    sg_io_hdr_t header;
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
  SgRecorder::Seen seen{{cdb->data, cdb->data + h.cmd_len}, h};
  UMockdevIoctlData* buffer =
      h.dxfer_len > 0
          ? umockdev_ioctl_data_resolve(header, static_cast<gint>(offsetof(sg_io_hdr_t, dxferp)),
                                        h.dxfer_len, &error)
          : nullptr;
  // Everything from the status on is the recorder's answer.
  std::memset(&h.status, 0, sizeof h - offsetof(sg_io_hdr_t, status));
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
  } else if (seen.cdb[0] == 0xE3) {  // and never answers E3: the host gives up on it
    h.host_status = 0x03;            // DID_TIME_OUT
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

  static RegistryEntryRef driverEntry(Registry& registry) {
    const auto drivers = registry.matchingServices(DriverIdentity::kDeviceClassName);
    return drivers.empty() ? nullptr : drivers.front();
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
  // (The interface's class and IDs are read by the probe, which claims this recorder, and by
  // the volume search of the detection case below.)
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

// Requests reach the sg node through sg_pt, until the recorder goes away.
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
            u"Illegal Request, Additional sense: Invalid command operation code"_s);

  // A time-out is a time-out, not a command that completed.
  const ScsiOutcome timedOut = read(registry, connection, 0xE3, data);
  EXPECT_EQ(timedOut.result, kIOReturnTimeout);
  EXPECT_EQ(timedOut.status, ScsiTaskStatus::kTaskTimeoutOccurred);

  {
    const std::scoped_lock lock(sg_.mutex);
    ASSERT_EQ(sg_.seen.size(), 3U);
    EXPECT_EQ(sg_.seen[0].cdb.size(), 16U);
    EXPECT_EQ(sg_.seen[0].header.dxfer_direction, SG_DXFER_FROM_DEV);
    EXPECT_EQ(sg_.seen[0].header.dxfer_len, 8U);
    EXPECT_EQ(sg_.seen[0].header.timeout, 10000U);
    EXPECT_EQ(sg_.seen[1].cdb[0], 0xE1);
    EXPECT_EQ(sg_.seen[1].header.timeout, 2000U);  // sg_pt counts whole seconds
  }
  umockdev_testbed_remove_device(testbed_, kRecorderPath);
  EXPECT_EQ(read(registry, connection, 0xE0, data).result, 0x10000003U);
  EXPECT_EQ(recorderEntry(registry), nullptr);
}

// tarnwell-tool inherits the testbed: it finds the recorder in the udev registry and sends
// through the same transport to the sg node.
TEST_F(UdevRegistryTest, TheToolSendsACommandToTheSgNode) {
  load("recorder-claimed.umockdev");
  answerSgIo();
  const ToolRun refused =
      runTool({u"scsi"_s, u"--cdb"_s, u"E1000000000000000000000000000000"_s, u"--in"_s, u"8"_s});
  EXPECT_EQ(refused.status, 1) << refused.err.toStdString();
  EXPECT_TRUE(refused.out.contains(QLatin1String("status=0x02"))) << refused.out.toStdString();
  EXPECT_TRUE(refused.out.contains(QLatin1String("sense=700005000000000A0000000020")))
      << refused.out.toStdString();
}

// Detection opens the claimed recorder's sg node; its partitions (sdb1, sdb2) are matched
// against the real mount table: tmpfs file systems mounted from those names and from
// another disk.
TEST_F(UdevRegistryTest, DetectionOpensTheRecorderAndFindsItsMountedVolumes) {
  load("recorder-claimed.umockdev");
  testApplication();
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

  const TmpfsMount second("/dev/sdb2");
  SKIP_WITHOUT_MOUNT(second);
  const TmpfsMount unrelated("/dev/sdc1");
  const TmpfsMount first("/dev/sdb1");
  EXPECT_EQ(RecorderVolumes::find(*devices[0]),
            (QList<QUrl>{QUrl::fromLocalFile(QString::fromStdString(second.path())),
                         QUrl::fromLocalFile(QString::fromStdString(first.path()))}));
}

}  // namespace
