#include "app/device/AudioDeviceTable.h"

#include <gtest/gtest.h>

#include <set>
#include <tuple>

namespace {

// The lookups rely on the shape of the rows; a row added carelessly breaks them silently.
TEST(AudioDeviceTableShape, ModelRowsKeepTheirRules) {
  const AudioDeviceTable table;
  ASSERT_EQ(table.modelIDs().size(), 40);
  int withoutDeviceID = 0;
  for (const ModelIDItem& row : table.modelIDs()) {
    EXPECT_GE(row.pid, 0x0200);
    EXPECT_LE(row.pid, 0x02FF);
    if (row.modelID) {
      EXPECT_GE(*row.modelID, 1000U) << "model numbers have four digits";
      EXPECT_LE(*row.modelID, 9999U);
    }
    if (row.deviceID == 0) {
      ++withoutDeviceID;
      EXPECT_FALSE(row.modelID.has_value());
      EXPECT_EQ(table.modelIDItems(row.pid).size(), 1) << "its product ID is its own";
    } else {
      EXPECT_TRUE(row.modelID.has_value());
    }
  }
  EXPECT_EQ(withoutDeviceID, 2);
}

TEST(AudioDeviceTableShape, TransferRowsAreUniqueKnownPairsUsingEveryLayout) {
  const AudioDeviceTable table;
  ASSERT_EQ(table.scsiTransferTypeAddresses().size(), 16);
  std::set<std::pair<uint64_t, uint64_t>> pairs;
  std::set<std::tuple<uint32_t, uint32_t, uint32_t, uint32_t>> layouts;
  for (const auto& row : table.scsiTransferTypeAddresses()) {
    EXPECT_TRUE(pairs.insert({row.pid, row.deviceID}).second) << "pair occurs twice";
    const auto model = table.modelIDItems(static_cast<int64_t>(row.pid));
    EXPECT_TRUE(std::any_of(model.cbegin(), model.cend(), [&](const ModelIDItem& item) {
      return item.deviceID == row.deviceID;
    })) << "pair missing from the model rows";
    layouts.insert({row.mainCPUAddress, row.mainCPULength, row.subCPUAddress, row.subCPULength});
  }
  const std::set<std::tuple<uint32_t, uint32_t, uint32_t, uint32_t>> expected{
      {0x00040000, 0x001E0000, 0x00000400, 0x00007C00},
      {0x00040000, 0x001C0000, 0x00001000, 0x00007000},
      {0x00040000, 0x001C0000, 0x00000400, 0x00007C00},
      {0x00040000, 0x001C0000, 0, 0},
      {0x0000C000, 0x00100000, 0, 0},
      {0x00060000, 0x000A0000, 0, 0}};
  EXPECT_EQ(layouts, expected);
}

TEST(AudioDeviceTableLookup, ModelIDForNeedsBothIdentifiersOnOneRow) {
  const AudioDeviceTable table;
  EXPECT_EQ(table.modelIDFor(0x0210, 0x5A11), 4111U);
  EXPECT_EQ(table.modelIDFor(0x0211, 0x5A10), 4110U);
  // 0x5A11 exists, but not with product ID 0x0211.
  EXPECT_EQ(table.modelIDFor(0x0211, 0x5A11), std::nullopt);
  EXPECT_EQ(table.modelIDFor(0x0260, 0), std::nullopt);
  EXPECT_EQ(table.modelIDFor(0x0300, 0x5A10), std::nullopt);
}

TEST(AudioDeviceTableLookup, ItemsAndSupport) {
  const AudioDeviceTable table;
  EXPECT_EQ(table.modelIDItems(0x0210).size(), 3);
  EXPECT_TRUE(table.modelIDItems(0x02FF).isEmpty());
  EXPECT_TRUE(table.isSupportedProductID(0x0261));
  EXPECT_FALSE(table.isSupportedProductID(0x0200));
  EXPECT_TRUE(isMakerVendorID(kMakerVendorIDs[1]));
  EXPECT_FALSE(isMakerVendorID(0x05AC));
}

TEST(AudioDeviceTableLookup, TransferAddressDecidesTheUpdateMethod) {
  const AudioDeviceTable table;
  const auto address = table.transferAddressFor(0x0212, 0x5A20);
  ASSERT_TRUE(address.has_value());
  EXPECT_EQ(address->subCPUAddress, 0x00001000U);
  EXPECT_EQ(table.transferAddressFor(0x0220, 0x6B01), std::nullopt) << "file-copy model";
  EXPECT_EQ(table.transferAddressFor(-1, 0x5A20), std::nullopt);
  EXPECT_EQ(table.transferAddressFor(0x0212, 0x5A21)->subCPUAddress, 0x00000400U);
}

}  // namespace
