#include "driver/DriverIdentity.h"
#include "tests/driver/DriverTestSupport.h"

#include <fnmatch.h>

#include <array>
#include <fstream>
#include <sstream>
#include <string>

namespace {

TEST(DriverProbeTest, ClaimsTheMakersRecordersInItsProductRange) {
  struct Row {
    int64_t vendor;
    int64_t product;
    const char* interfaceName;
    bool claimed;
  };
  // The last row: read as 16-bit numbers, as the USB descriptors hold them.
  constexpr Row rows[] = {
      {0xF7A1, 0x020A, "IOUSBHostInterface", true},  {0xF7A2, 0x02FF, "IOUSBHostInterface", true},
      {0xF7A1, 0x0210, "IOUSBInterface", true},      {0xF7A1, 0x0209, "IOUSBHostInterface", false},
      {0xF7A1, 0x0205, "IOUSBHostInterface", false}, {0xF7A1, 0x0300, "IOUSBHostInterface", false},
      {0x1043, 0x0210, "IOUSBHostInterface", false}, {0xF7A1, 0x0210, "IOUSBDevice", false},
      {0x1F7A1, 0x10210, "IOUSBHostInterface", true}};
  for (const Row& row : rows) {
    SCOPED_TRACE(testing::Message()
                 << std::hex << row.vendor << ":" << row.product << " " << row.interfaceName);
    InMemoryRegistry registry;
    const auto interface = registry.addEntry(nullptr, "IOUSBHostInterface",
                                             {{"idVendor", row.vendor}, {"idProduct", row.product}},
                                             "1-1:1.0", row.interfaceName);
    const auto nub = registry.addEntry(interface, "IOSCSILogicalUnitNub");
    EXPECT_EQ(registry.attachDriver(nub, nullptr) != nullptr, row.claimed);
  }
  // Without both numbers the interface is passed over; an interface further up still counts.
  InMemoryRegistry registry;
  const auto outer =
      registry.addEntry(nullptr, "IOUSBHostInterface",
                        {{"idVendor", int64_t{0xF7A1}}, {"idProduct", int64_t{0x0210}}});
  const auto inner =
      registry.addEntry(outer, "IOUSBHostInterface",
                        {{"idVendor", std::string("f7a1")}, {"idProduct", int64_t{0x0210}}});
  EXPECT_NE(registry.attachDriver(registry.addEntry(inner, "IOSCSILogicalUnitNub"), nullptr),
            nullptr);
}

// udev matches each ATTRS value against shell patterns separated by "|"; the rules must
// pick exactly the devices that the driver's probe takes.
TEST(DriverRulesTest, TheRulesSelectTheProbesRange) {
  std::ifstream file(std::string(TARNWELL_SOURCE_DIR) + "/driver/udev/70-korvane-dss.rules");
  const auto matches = [](const std::string& patterns, const char* value) {
    std::stringstream alternatives(patterns);
    std::string pattern;
    bool found = false;
    while (std::getline(alternatives, pattern, '|')) {
      found = found || fnmatch(pattern.c_str(), value, 0) == 0;
    }
    return found;
  };
  // The quoted value after `key==` on a line, or empty. (No <regex>: GCC 12 warns inside it
  // under the sanitizers.)
  const auto valueOf = [](const std::string& line, const std::string& key) {
    const size_t start = line.find(key + "==\"");
    const size_t from = start + key.size() + 3;
    return start == std::string::npos ? std::string()
                                      : line.substr(from, line.find('"', from) - from);
  };
  int rulesSeen = 0;
  bool claims = false;
  for (std::string line; std::getline(file, line);) {
    claims =
        claims || line.find(R"(ENV{KORVANE_DSS_DRIVER}="com_korvane_DSSBlockCommandsDevice")") !=
                      std::string::npos;
    const std::string vendors = valueOf(line, "ATTRS{idVendor}");
    const std::string products = valueOf(line, "ATTRS{idProduct}");
    if (vendors.empty() || products.empty()) {
      continue;
    }
    ++rulesSeen;
    for (const int vendor : {0xF7A1, 0xF7A2, 0xF7A3, 0x1043}) {
      for (int product = 0; product <= 0xFFFF; ++product) {
        std::array<char, 8> vendorText{};
        std::array<char, 8> productText{};
        std::snprintf(vendorText.data(), vendorText.size(), "%04x", vendor);
        std::snprintf(productText.data(), productText.size(), "%04x", product);
        ASSERT_EQ(
            matches(vendors, vendorText.data()) && matches(products, productText.data()),
            DriverIdentity::isMakerVendorID(vendor) && DriverIdentity::isClaimedProductID(product))
            << vendorText.data() << ":" << productText.data();
      }
    }
  }
  EXPECT_EQ(rulesSeen, 2);  // the SCSI device and its sg node
  EXPECT_TRUE(claims);
}

TEST(RequestRecordTest, LayoutsRoundTripInEveryByteOrder) {
  KvonExSCSIIOStructT record;
  record.request = {
      0x80,       16,         {0xE0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15},
      0x11223344, 0x55667788, 18,
      0x99AABBCC};
  record.timeout = 300000;
  for (const uint32_t selector : {2U, 5U, 6U, 7U}) {
    for (const bool crossEndian : {false, true}) {
      uint32_t size = 0;
      const auto bytes = KvonRecord::encode(selector, record, crossEndian, &size);
      ASSERT_TRUE(bytes);
      EXPECT_EQ(size, KvonRecord::recordSize(selector));
      const auto decoded =
          KvonRecord::decode(selector, std::span(bytes->data(), size), crossEndian);
      ASSERT_TRUE(decoded);
      EXPECT_EQ(decoded->request.commandBlock, record.request.commandBlock);
      EXPECT_EQ(decoded->request.dataAddress, record.request.dataAddress);
      EXPECT_EQ(decoded->request.senseAddress, record.request.senseAddress);
      EXPECT_EQ(decoded->timeout, KvonRecord::hasTimeout(selector) ? 300000U : 0U);
      EXPECT_FALSE(KvonRecord::decode(selector, std::span(bytes->data(), size - 1), crossEndian));
    }
  }
  // The 64-bit layout as the application writes it: little-endian, timeout at 56.
  uint32_t size = 0;
  const auto bytes = KvonRecord::encode(7, record, false, &size);
  EXPECT_EQ((*bytes)[0], 0x80);
  EXPECT_EQ((*bytes)[24], 0x44);
  EXPECT_EQ((*bytes)[32], 0x88);
  EXPECT_EQ((*bytes)[40], 18);
  EXPECT_EQ((*bytes)[56], 0xE0);  // 300000 = 0x000493E0
  EXPECT_FALSE(KvonRecord::encode(3, record, false, &size));
}

}  // namespace
