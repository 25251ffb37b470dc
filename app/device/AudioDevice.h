#pragma once

#include "app/device/AudioDeviceTable.h"
#include "app/device/IOObject.h"

#include <QString>

#include <cstdint>
#include <memory>
#include <optional>

enum class UpdateFirmwareTargetProcessor { dsp = 0, sub = 1 };

// One recorder found on the USB bus, shared by the detector, the controller, the device
// interface and the use cases. Detection fills the USB identity; the device-status use case
// completes the rest from what the recorder reports and from the model table.
class AudioDevice final {
 public:
  enum class UpdateType { fileCopy = 0, scsiTransfer = 1 };

  AudioDevice(int64_t vendorID, int64_t productID) : usbVendorID(vendorID), usbPID(productID) {}

  int64_t usbVendorID = 0;
  int64_t usbPID = 0;
  uint64_t deviceID = 0;
  QString deviceName;
  QString version;  // a four-character version code
  QString serialID;
  uint64_t modelID = 0;
  UpdateType updateType = UpdateType::fileCopy;
  UpdateFirmwareTargetProcessor targetProcessor = UpdateFirmwareTargetProcessor::dsp;
  std::optional<AudioDeviceTable::ScsiTransferAddress> transferAddress;
  // The USB device's registry entry, and the driver's entry below it with the connection
  // that detection opened. Shared by copies of the record; the last one closes it.
  IOObjectPtr serviceEntry;
  IOObjectPtr driverEntry;
};

using AudioDevicePtr = std::shared_ptr<AudioDevice>;
