#include "app/device/AudioDeviceTable.h"

#include <gtest/gtest.h>

#include <set>

namespace {

// The lookups rely on the shape of the rows; a row added carelessly breaks them silently.
TEST(AudioDeviceTableShape, RowsKeepTheRulesTheLookupsRelyOn) {
  const AudioDeviceTable table;
  for (const ModelIDItem& row : table.modelIDs()) {
    EXPECT_GE(row.pid, 0x0200);
    EXPECT_LE(row.pid, 0x02FF);
    if (row.modelID) {
      EXPECT_GE(*row.modelID, 1000U) << "model numbers have four digits";
      EXPECT_LE(*row.modelID, 9999U);
    }
    EXPECT_EQ(row.deviceID != 0, row.modelID.has_value());
    EXPECT_TRUE(table.modelIDItems(row.pid).contains(row));
    if (row.deviceID == 0) {
      EXPECT_EQ(table.modelIDItems(row.pid).size(), 1) << "its product ID is its own";
    }
  }
  std::set<std::pair<uint64_t, uint64_t>> pairs;
  for (const auto& row : table.scsiTransferTypeAddresses()) {
    EXPECT_TRUE(pairs.insert({row.pid, row.deviceID}).second) << "pair occurs twice";
    EXPECT_TRUE(table.modelIDFor(static_cast<int64_t>(row.pid), row.deviceID).has_value())
        << "pair missing from the model rows";
  }
}

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

}  // namespace
