#include "app/device/AudioDeviceDetectorReal.h"
#include "driver/DriverIdentity.h"
#include "platform/registry/InMemoryRegistry.h"
#include "tests/device/DetectorTestSupport.h"
#include "tests/support/EventLoop.h"
#include "tests/support/QStringPrinter.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <set>
#include <string>

namespace {

using std::chrono::milliseconds;
using namespace Qt::StringLiterals;

class DetectorTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { testApplication(); }
  void TearDown() override { Registry::setShared(nullptr); }

  // Recorders with the given (vendor ID, product ID) pairs, in this order, in a fresh
  // in-memory registry.
  InMemoryRegistry& attach(std::initializer_list<std::pair<uint16_t, uint16_t>> recorders) {
    auto registry = std::make_shared<InMemoryRegistry>();
    int location = 1;
    for (const auto& [vendorID, productID] : recorders) {
      registry->addRecorder(vendorID, productID, nullptr, "1-" + std::to_string(location++));
    }
    Registry::setShared(registry);
    return *registry;
  }

  // A rules directory with the driver's rules file in it, or without.
  QStringList rulesDirectories(bool installed) {
    const QString directory = scratch_.filePath(installed ? u"with-rules"_s : u"without-rules"_s);
    QDir().mkpath(directory);
    if (installed) {
      QFile rules(QDir(directory).filePath(QLatin1String(DriverIdentity::kRulesFileName.data())));
      EXPECT_TRUE(rules.open(QIODevice::WriteOnly));
    }
    return {scratch_.filePath(u"missing"_s), directory};
  }

  QTemporaryDir scratch_;
};

// Each scan makes new records with connections of their own; a record's connection stays
// open while the record is held and closes with it. Which recorders are listed, in which order
// and with which log lines, is the tool's detect row.
TEST_F(DetectorTest, EachScanMakesRecordsWhoseConnectionsCloseWithThem) {
  InMemoryRegistry& registry = attach({{0xF7A1, 0x0220}, {0xF7A2, 0x0210}});
  std::vector<uint32_t> ports;
  {
    AudioDeviceDetectorReal detector(milliseconds(0));
    ASSERT_EQ(detectOnce(detector), std::nullopt);
    const auto first = detector.devices();
    ASSERT_EQ(detectOnce(detector), std::nullopt);
    ASSERT_EQ(first.size(), 2U);
    ASSERT_EQ(detector.devices().size(), 2U);
    EXPECT_NE(detector.devices().front(), first.front());
    for (const auto& devices : {first, detector.devices()}) {
      for (const AudioDevicePtr& device : devices) {
        ports.push_back(device->driverEntry->dataPort());
      }
    }
    EXPECT_EQ(std::set<uint32_t>(ports.begin(), ports.end()).size(), 4U);
    EXPECT_EQ(registry.closeUserClient(ports[0]), kIOReturnSuccess);
  }
  // The last records went with the detector, and their connections with them.
  for (const uint32_t port : ports) {
    EXPECT_EQ(registry.closeUserClient(port), kIOReturnInvalidConnection);
  }
}

// A recorder whose driver entry is missing ends the scan: the driver is blocked when its
// rules are installed, absent otherwise; the previous scan's lists stay.
TEST_F(DetectorTest, ARecorderWithoutItsDriverFailsTheScanAndKeepsThePreviousLists) {
  for (const bool installed : {true, false}) {
    SCOPED_TRACE(installed ? "rules installed" : "no rules");
    InMemoryRegistry& registry = attach({{0xF7A1, 0x0210}});
    AudioDeviceDetectorReal detector(milliseconds(0), rulesDirectories(installed));
    ASSERT_EQ(detectOnce(detector), std::nullopt);
    const auto previous = detector.devices();
    ASSERT_EQ(previous.size(), 1U);

    // The first recorder opens, the second has no driver entry below its interface.
    const RegistryEntryRef usb =
        registry.addEntry(nullptr, "IOUSBHostDevice",
                          {{"idVendor", int64_t{0xF7A2}}, {"idProduct", int64_t{0x0211}}}, "1-2");
    registry.addEntry(usb, "IOUSBHostInterface", {{"bInterfaceClass", int64_t{8}}}, "1-2:1.0");
    const RecordedLog log;
    const auto error = detectOnce(detector);
    EXPECT_EQ(error, installed ? AudioDeviceError::skelError() : AudioDeviceError::driverMissing());
    EXPECT_EQ(detector.devices(), previous);
    EXPECT_EQ(detector.supportedDevices(), previous);
    EXPECT_EQ(log.lines(),
              (QStringList{u"Found Recoder: VID=0xF7A1, PID=0x0210"_s, u"Open Driver: OK"_s,
                           u"Found Recoder: VID=0xF7A2, PID=0x0211"_s, u"Open Driver: Failed"_s}));
  }
}

TEST_F(DetectorTest, ADetectWhileAScanIsPendingOrFromItsCompletionIsIgnored) {
  attach({});
  std::atomic<int> calls = 0;
  std::promise<void> entered;
  std::promise<void> release;
  std::shared_future<void> released = release.get_future().share();
  {
    // The scan waits long enough for the second call to find it pending.
    AudioDeviceDetectorReal detector(milliseconds(300));
    detector.setCompletion([&](std::optional<AudioDeviceError> error) {
      EXPECT_EQ(error, std::nullopt);  // no recorder is no error
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

}  // namespace
