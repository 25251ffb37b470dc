#pragma once

#include "driver/RecorderCommandLayout.h"

#include <QList>

#include <cstdint>
#include <optional>

// One supported recorder model: the product ID it enumerates with, the model code it
// reports, and the maker's model number used towards the update server.
struct ModelIDItem {
  uint64_t deviceID = 0;  // 0 for recorders that report no model code
  int64_t pid = 0;
  std::optional<uint64_t> modelID;  // absent where the recorder reports its model number

  friend bool operator==(const ModelIDItem&, const ModelIDItem&) = default;
};

// The compiled-in table of supported models and of the flash areas of the models that are
// updated by vendor SCSI upload. Rows keep a fixed order: lookups return the first match.
class AudioDeviceTable final {
 public:
  struct ScsiTransferAddress {
    uint64_t pid = 0;
    uint64_t deviceID = 0;
    uint32_t mainCPUAddress = 0;
    uint32_t mainCPULength = 0;
    uint32_t subCPUAddress = 0;  // 0 where the model has no sub processor
    uint32_t subCPULength = 0;

    friend bool operator==(const ScsiTransferAddress&, const ScsiTransferAddress&) = default;
  };

  AudioDeviceTable();

  const QList<ModelIDItem>& modelIDs() const { return modelIDs_; }
  const QList<ScsiTransferAddress>& scsiTransferTypeAddresses() const {
    return scsiTransferTypeAddresses_;
  }

  QList<ModelIDItem> modelIDItems(int64_t pid) const;
  std::optional<uint64_t> modelIDFor(int64_t pid, uint64_t deviceID) const;
  std::optional<ScsiTransferAddress> transferAddressFor(int64_t pid, uint64_t deviceID) const;
  bool isSupportedProductID(int64_t pid) const;

 private:
  QList<ModelIDItem> modelIDs_;
  QList<ScsiTransferAddress> scsiTransferTypeAddresses_;
};

// Detection accepts a USB device only with one of the maker's vendor IDs.
using RecorderCommandLayout::isMakerVendorID;
