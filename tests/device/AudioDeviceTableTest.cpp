#include "app/device/AudioDeviceTable.h"
#include "driver/DriverIdentity.h"

#include <gtest/gtest.h>

namespace {

TEST(AudioDeviceTableLookup, LookupsNeedBothIdentifiersOnOneRow) {
  const AudioDeviceTable table;
  EXPECT_EQ(table.modelIDFor(0x0210, 0x5A11), 4111U);
  EXPECT_EQ(table.modelIDFor(0x0211, 0x5A10), 4110U);
  EXPECT_EQ(table.modelIDFor(0x0211, 0x5A11), std::nullopt);  // 0x5A11 is another product's
  EXPECT_EQ(table.modelIDFor(0x0260, 0), std::nullopt);
  EXPECT_EQ(table.modelIDFor(0x0300, 0x5A10), std::nullopt);
  EXPECT_TRUE(table.modelIDItems(0x02FF).isEmpty());
  EXPECT_TRUE(table.isSupportedProductID(0x0261));
  EXPECT_FALSE(table.isSupportedProductID(0x0200));
  EXPECT_EQ(table.transferAddressFor(0x0212, 0x5A20)->subCPUAddress, 0x00001000U);
  EXPECT_EQ(table.transferAddressFor(0x0212, 0x5A21)->subCPUAddress, 0x00000400U);
  EXPECT_EQ(table.transferAddressFor(0x0220, 0x6B01), std::nullopt) << "file-copy model";
  EXPECT_EQ(table.transferAddressFor(-1, 0x5A20), std::nullopt);
}

// A row whose product ID the pass-through driver does not claim could never be updated.
TEST(AudioDeviceTableLookup, EveryModelIsInTheDriversRange) {
  const AudioDeviceTable table;
  for (const ModelIDItem& item : table.modelIDs()) {
    EXPECT_TRUE(DriverIdentity::isClaimedProductID(item.pid)) << std::hex << item.pid;
  }
}

}  // namespace
