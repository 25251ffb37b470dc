#include "app/device/AudioDeviceTable.h"

#include <algorithm>

namespace {

using Address = AudioDeviceTable::ScsiTransferAddress;

// The flash layouts of the SCSI-updated models: main area, then sub area (0 when absent).
struct FlashLayout {
  uint32_t mainAddress, mainLength, subAddress, subLength;
};
constexpr FlashLayout kMainSub1E{0x00040000, 0x001E0000, 0x00000400, 0x00007C00};
constexpr FlashLayout kMainSub1CWideBoot{0x00040000, 0x001C0000, 0x00001000, 0x00007000};
constexpr FlashLayout kMainSub1C{0x00040000, 0x001C0000, 0x00000400, 0x00007C00};
constexpr FlashLayout kMain1C{0x00040000, 0x001C0000, 0, 0};
constexpr FlashLayout kMainLowBoot{0x0000C000, 0x00100000, 0, 0};
constexpr FlashLayout kMainSmall{0x00060000, 0x000A0000, 0, 0};

Address address(uint64_t pid, uint64_t deviceID, const FlashLayout& layout) {
  return {
      pid, deviceID, layout.mainAddress, layout.mainLength, layout.subAddress, layout.subLength};
}

}  // namespace

AudioDeviceTable::AudioDeviceTable()
    : modelIDs_{
          // SCSI-updated family. The 4101 enumerated as 0x0205 in early tables, below the
          // product range the driver claims, where no update could reach it.
          {0x5A01, 0x020A, 4101},
          {0x5A10, 0x0210, 4110},
          {0x5A11, 0x0210, 4111},
          {0x5A12, 0x0210, 4112},
          {0x5A10, 0x0211, 4110},  // the 4110 is also sold under a second product ID
          {0x5A20, 0x0212, 4120},
          {0x5A21, 0x0212, 4121},
          {0x5A22, 0x0213, 4122},
          {0x5A30, 0x0214, 4130},
          {0x5A31, 0x0214, 4131},
          {0x5A30, 0x0215, 4130},
          {0x5A40, 0x0216, 4140},
          {0x5A41, 0x0217, 4141},
          {0x5A50, 0x0218, 4150},
          {0x5A51, 0x0219, 4151},
          {0x5A52, 0x021A, 4152},
          {0x5A60, 0x021B, 4160},
          {0x5A61, 0x021C, 4161},
          // File-copy family.
          {0x6B01, 0x0220, 5201},
          {0x6B02, 0x0220, 5202},
          {0x6B01, 0x0221, 5201},
          {0x6B10, 0x0222, 5210},
          {0x6B11, 0x0223, 5211},
          {0x6B12, 0x0224, 5212},
          {0x6B20, 0x0225, 5220},
          {0x6B21, 0x0225, 5221},
          {0x6B22, 0x0226, 5222},
          {0x6B30, 0x0230, 5230},
          {0x6B31, 0x0231, 5231},
          {0x6B32, 0x0232, 5232},
          {0x6B40, 0x0233, 5240},
          {0x6B41, 0x0234, 5241},
          {0x6B42, 0x0235, 5242},
          {0x6B50, 0x0240, 5250},
          {0x6B51, 0x0241, 5251},
          {0x6B52, 0x0242, 5252},
          {0x6B60, 0x0250, 5260},
          {0x6B61, 0x0251, 5261},
          // Recorders that report no model code; their model number comes from their
          // product information.
          {0, 0x0260, std::nullopt},
          {0, 0x0261, std::nullopt},
      },
      scsiTransferTypeAddresses_{
          address(0x020A, 0x5A01, kMainLowBoot),
          address(0x0210, 0x5A10, kMainSub1E),
          address(0x0210, 0x5A11, kMainSub1E),
          address(0x0210, 0x5A12, kMainSub1CWideBoot),
          address(0x0211, 0x5A10, kMainSub1E),
          address(0x0212, 0x5A20, kMainSub1CWideBoot),
          address(0x0212, 0x5A21, kMainSub1C),
          address(0x0213, 0x5A22, kMainSub1C),
          address(0x0214, 0x5A30, kMain1C),
          address(0x0214, 0x5A31, kMain1C),
          address(0x0215, 0x5A30, kMain1C),
          address(0x0216, 0x5A40, kMainLowBoot),
          address(0x0217, 0x5A41, kMainLowBoot),
          address(0x0218, 0x5A50, kMainSmall),
          address(0x0219, 0x5A51, kMainSmall),
          address(0x021A, 0x5A52, kMainSmall),
      } {}

QList<ModelIDItem> AudioDeviceTable::modelIDItems(int64_t pid) const {
  QList<ModelIDItem> items;
  std::copy_if(modelIDs_.cbegin(), modelIDs_.cend(), std::back_inserter(items),
               [pid](const ModelIDItem& item) { return item.pid == pid; });
  return items;
}

std::optional<uint64_t> AudioDeviceTable::modelIDFor(int64_t pid, uint64_t deviceID) const {
  for (const ModelIDItem& item : modelIDs_) {
    if (item.pid == pid && item.deviceID == deviceID) {
      return item.modelID;
    }
  }
  return std::nullopt;
}

std::optional<AudioDeviceTable::ScsiTransferAddress> AudioDeviceTable::transferAddressFor(
    int64_t pid, uint64_t deviceID) const {
  if (pid < 0) {
    return std::nullopt;
  }
  for (const ScsiTransferAddress& row : scsiTransferTypeAddresses_) {
    if (row.pid == static_cast<uint64_t>(pid) && row.deviceID == deviceID) {
      return row;
    }
  }
  return std::nullopt;
}

bool AudioDeviceTable::isSupportedProductID(int64_t pid) const {
  return std::any_of(modelIDs_.cbegin(), modelIDs_.cend(),
                     [pid](const ModelIDItem& item) { return item.pid == pid; });
}
