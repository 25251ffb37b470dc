#include "app/device/AudioDeviceDetectorReal.h"
#include "app/device/RegistoryBrowser.h"
#include "app/sim/VirtualRecorderRack.h"
#include "driver/DriverIdentity.h"
#include "platform/PropertyList.h"
#include "platform/registry/InMemoryRegistry.h"
#include "tests/device/DetectorTestSupport.h"
#include "tests/support/EventLoop.h"
#include "tests/support/QStringPrinter.h"
#include "tests/support/ToolProcess.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <set>

namespace {

using std::chrono::milliseconds;

QString hex4(int64_t value) {
  return QStringLiteral("0x") + QString::number(value, 16).toUpper().rightJustified(4, u'0');
}

class DetectorTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { testApplication(); }

  void TearDown() override {
    rack_.reset();
    Registry::setShared(nullptr);
  }

  // A new recorder folder with the smallest configuration the virtual recorder takes.
  QString writeRecorder(int64_t vendorID, int64_t productID) {
    QString folder = scratch_.filePath(QString::number(folders_++));
    QDir().mkpath(folder);
    const QVariantMap config{{QStringLiteral("vendorId"), qint64{vendorID}},
                             {QStringLiteral("productId"), qint64{productID}},
                             {QStringLiteral("deviceId"), qint64{0x5A10}},
                             {QStringLiteral("modelName"), QStringLiteral("DR-41")},
                             {QStringLiteral("firmwareVersion"), QStringLiteral("Ver 1.00")},
                             {QStringLiteral("serialNumber"), QStringLiteral("S0001")}};
    QFile file(QDir(folder).filePath(QStringLiteral("recorder.plist")));
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(PropertyList::toXml(config));
    return folder;
  }

  // Attaches one virtual recorder per (vendor ID, product ID) pair, in this order.
  void attach(std::initializer_list<std::pair<int64_t, int64_t>> recorders) {
    QStringList folders;
    for (const auto& [vendorID, productID] : recorders) {
      folders << writeRecorder(vendorID, productID);
    }
    auto installed = VirtualRecorderRack::install(folders);
    ASSERT_TRUE(std::holds_alternative<std::unique_ptr<VirtualRecorderRack>>(installed))
        << std::get<QString>(installed).toStdString();
    rack_ = std::get<std::unique_ptr<VirtualRecorderRack>>(std::move(installed));
  }

  // A rules directory with the driver's rules file in it, or without.
  QStringList rulesDirectories(bool installed) {
    const QString directory = scratch_.filePath(installed ? QStringLiteral("with-rules")
                                                          : QStringLiteral("without-rules"));
    QDir().mkpath(directory);
    if (installed) {
      QFile rules(QDir(directory).filePath(QLatin1String(DriverIdentity::kRulesFileName.data())));
      EXPECT_TRUE(rules.open(QIODevice::WriteOnly));
    }
    return {scratch_.filePath(QStringLiteral("missing")), directory};
  }

  QTemporaryDir scratch_;
  int folders_ = 0;
  std::unique_ptr<VirtualRecorderRack> rack_;
};

TEST_F(DetectorTest, TwoRecordersAreOpenedInRegistryOrderAndClosedWithTheirRecords) {
  attach({{0xF7A1, 0x0220}, {0xF7A2, 0x0210}});
  std::vector<uint32_t> ports;
  {
    AudioDeviceDetectorReal detector(milliseconds(0));
    ASSERT_EQ(detectOnce(detector), std::nullopt);
    const auto devices = detector.devices();
    ASSERT_EQ(devices.size(), 2U);
    EXPECT_EQ(devices[0]->usbVendorID, 0xF7A1);
    EXPECT_EQ(devices[0]->usbPID, 0x0220);
    EXPECT_EQ(devices[1]->usbVendorID, 0xF7A2);
    EXPECT_EQ(devices[1]->usbPID, 0x0210);
    EXPECT_EQ(detector.supportedDevices(), devices);
    for (const AudioDevicePtr& device : devices) {
      ASSERT_NE(device->serviceEntry, nullptr);
      ASSERT_NE(device->driverEntry, nullptr);
      EXPECT_EQ(device->serviceEntry->className(), "IOUSBHostDevice");
      // The driver entry hangs four levels below the USB device.
      EXPECT_EQ(device->driverEntry->className(), DriverIdentity::kDeviceClassName);
      EXPECT_NE(device->driverEntry->dataPort(), 0U);
      EXPECT_EQ(device->deviceID, 0U);
      EXPECT_EQ(device->updateType, AudioDevice::UpdateType::fileCopy);
      ports.push_back(device->driverEntry->dataPort());
    }
    // Once idle it detects again: new records with connections of their own, while the old
    // records' stay open as long as they are held.
    ASSERT_EQ(detectOnce(detector), std::nullopt);
    ASSERT_EQ(detector.devices().size(), 2U);
    EXPECT_NE(detector.devices().front(), devices.front());
    for (const AudioDevicePtr& device : detector.devices()) {
      ports.push_back(device->driverEntry->dataPort());
    }
    EXPECT_EQ(std::set<uint32_t>(ports.begin(), ports.end()).size(), 4U);
    EXPECT_EQ(rack_->registry().closeUserClient(ports[0]), kIOReturnSuccess);
  }
  // The last record went with the detector, and its connection with it.
  for (const uint32_t port : ports) {
    EXPECT_EQ(rack_->registry().closeUserClient(port), kIOReturnInvalidConnection);
  }
}

TEST_F(DetectorTest, ListsOnlyTheMakersRecordersInRangeAndLogsThem) {
  const struct {
    int64_t vendorID;
    int64_t productID;
    bool listed;
    bool supported;
  } rows[] = {
      {0xF7A1, 0x0210, true, true},
      {0xF7A2, 0x02F0, true, false},   // in range, not in the model table
      {0xF7A1, 0x0300, false, false},  // just past the range
      {0xF7A1, 0x01FF, false, false},
      {0x1D6B, 0x0210, false, false},  // a foreign vendor
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(hex4(row.vendorID).toStdString() + " " + hex4(row.productID).toStdString());
    attach({{row.vendorID, row.productID}});
    const RecordedLog log;
    AudioDeviceDetectorReal detector(milliseconds(0));
    EXPECT_EQ(detectOnce(detector), std::nullopt);
    EXPECT_EQ(detector.devices().size(), row.listed ? 1U : 0U);
    EXPECT_EQ(detector.supportedDevices().size(), row.supported ? 1U : 0U);
    const QStringList expected =
        row.listed ? QStringList{QStringLiteral("Found Recoder: VID=%1, PID=%2")
                                     .arg(hex4(row.vendorID), hex4(row.productID)),
                                 QStringLiteral("Open Driver: OK")}
                   : QStringList{};
    EXPECT_EQ(log.lines(), expected);
    rack_.reset();
  }
}

// A recorder whose driver entry is missing ends the scan: the driver is blocked when its
// rules are installed, absent otherwise; the previous scan's lists stay.
TEST_F(DetectorTest, ARecorderWithoutItsDriverFailsTheScanAndKeepsThePreviousLists) {
  for (const bool installed : {true, false}) {
    SCOPED_TRACE(installed ? "rules installed" : "no rules");
    auto registry = std::make_shared<InMemoryRegistry>();
    registry->addRecorder(0xF7A1, 0x0210, nullptr, "1-1");
    Registry::setShared(registry);
    AudioDeviceDetectorReal detector(milliseconds(0), rulesDirectories(installed));
    ASSERT_EQ(detectOnce(detector), std::nullopt);
    const auto previous = detector.devices();
    ASSERT_EQ(previous.size(), 1U);

    // The first recorder opens, the second has no driver entry below its interface.
    const RegistryEntryRef usb =
        registry->addEntry(nullptr, "IOUSBHostDevice",
                           {{"idVendor", int64_t{0xF7A2}}, {"idProduct", int64_t{0x0211}}}, "1-2");
    registry->addEntry(usb, "IOUSBHostInterface", {{"bInterfaceClass", int64_t{8}}}, "1-2:1.0");
    const RecordedLog log;
    const auto error = detectOnce(detector);
    EXPECT_EQ(error, installed ? AudioDeviceError::skelError() : AudioDeviceError::deviceError(14));
    EXPECT_EQ(detector.devices(), previous);
    EXPECT_EQ(detector.supportedDevices(), previous);
    EXPECT_EQ(log.lines(), (QStringList{QStringLiteral("Found Recoder: VID=0xF7A1, PID=0x0210"),
                                        QStringLiteral("Open Driver: OK"),
                                        QStringLiteral("Found Recoder: VID=0xF7A2, PID=0x0211"),
                                        QStringLiteral("Open Driver: Failed")}));
  }
}

TEST_F(DetectorTest, ADetectWhileAScanIsPendingOrFromItsCompletionIsIgnored) {
  Registry::setShared(std::make_shared<InMemoryRegistry>());
  std::atomic<int> calls = 0;
  std::promise<void> entered;
  std::promise<void> release;
  std::shared_future<void> released = release.get_future().share();
  {
    // The scan waits long enough for the second call to find it pending.
    AudioDeviceDetectorReal detector(milliseconds(300));
    detector.setCompletion([&](std::optional<AudioDeviceError> /*error*/) {
      if (calls.fetch_add(1) == 0) {
        detector.detect();  // from inside the completion: ignored
        entered.set_value();
        released.wait();
      }
    });
    detector.detect();
    detector.detect();
    entered.get_future().wait();
    // The caller the completion woke asks again at once, as Retry does; that is not lost
    // although the completion has not returned yet.
    EXPECT_FALSE(detector.running());
    detector.detect();
    release.set_value();
  }  // the detector's queue finishes whatever was posted before it goes
  EXPECT_EQ(calls.load(), 2);
}

TEST(RegistoryBrowserTest, FindsDriverEntriesInPreOrderIgnoringAsciiCase) {
  auto registry = std::make_shared<InMemoryRegistry>();
  const RegistryEntryRef usb = registry->addEntry(nullptr, "IOUSBHostDevice");
  const RegistryEntryRef a = registry->addEntry(usb, "IOUSBHostInterface");
  const RegistryEntryRef b = registry->addEntry(a, "COM_KORVANE_DSSBLOCKCOMMANDSDEVICE");
  const RegistryEntryRef c = registry->addEntry(b, "IOMedia");
  const RegistryEntryRef d = registry->addEntry(usb, "com_korvane_DSSBlockCommandsDevice");
  registry->addEntry(nullptr, "com_korvane_DSSBlockCommandsDevice");  // not below usb
  RegistoryBrowser browser;
  browser.masterPort = registry;
  const IOObject service(registry, usb);
  const auto entries = [](const std::vector<IOObjectPtr>& found) {
    std::vector<RegistryEntryRef> objects;
    objects.reserve(found.size());
    for (const IOObjectPtr& object : found) {
      objects.push_back(object->object());
    }
    return objects;
  };
  EXPECT_EQ(entries(browser.findChildren(service, [](const IOObject&) { return true; })),
            (std::vector<RegistryEntryRef>{a, b, c, d}));
  EXPECT_EQ(entries(browser.findDriverEntries(service, DriverIdentity::kDeviceClassName)),
            (std::vector<RegistryEntryRef>{b, d}));

  const struct {
    const char* name;
    bool matches;
  } names[] = {
      {"com_korvane_dssblockcommandsdevice", true},
      {"com_korvane_DSSBlockCommandsDevic", false},
      {"com_korvane_DSSBlockCommandsDevicex", false},
      {"com_korvane_DSSBlockCommandsDev\xC4\xB1"
       "ce",
       false},  // a dotless i is not an i
      {"", false},
  };
  for (const auto& row : names) {
    EXPECT_EQ(RegistoryBrowser::classNameMatches(row.name, DriverIdentity::kDeviceClassName),
              row.matches)
        << row.name;
  }
}

TEST_F(DetectorTest, TheToolListsRecordersOrNamesTheError) {
  const ToolRun listed = runTool({QStringLiteral("detect"), QStringLiteral("--virtual"),
                                  writeRecorder(0xF7A1, 0x0210), QStringLiteral("--virtual"),
                                  writeRecorder(0xF7A1, 0x02F0), QStringLiteral("--log")});
  EXPECT_EQ(listed.status, 0) << listed.err.toStdString();
  EXPECT_EQ(listed.out, QStringLiteral("devices=2\nvendorID=0xF7A1\nproductID=0x0210\n"
                                       "vendorID=0xF7A1\nproductID=0x02F0\n"
                                       "supportedDevices=1\nvendorID=0xF7A1\nproductID=0x0210\n"));
  EXPECT_TRUE(listed.err.contains(QLatin1String("Found Recoder: VID=0xF7A1, PID=0x02F0\n")))
      << listed.err.toStdString();

  // 0x0205 is a supported model that the driver does not claim.
  const ToolRun failed = runTool(
      {QStringLiteral("detect"), QStringLiteral("--virtual"), writeRecorder(0xF7A1, 0x0205)});
  EXPECT_EQ(failed.status, 1);
  EXPECT_TRUE(failed.out == QLatin1String("error=deviceError\ncode=14\n") ||
              failed.out == QLatin1String("error=skelError\n"))
      << failed.out.toStdString();

  EXPECT_EQ(runTool({QStringLiteral("detect"), QStringLiteral("--bogus")}).status, 2);
}

}  // namespace
