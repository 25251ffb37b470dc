#include "app/device/GetDeviceStatusInteractor.h"

#include "app/device/VersionCode.h"

int32_t GetDeviceStatusInteractor::execute(AudioDeviceInterface& deviceInterface,
                                           AudioDevice& device) const {
  std::optional<QString> name;
  if (const uint32_t status = deviceInterface.readModelName(device, name); status != 0) {
    return static_cast<int32_t>(status);
  }
  if (name) {
    device.deviceName = *name;
  }

  std::optional<RecorderFirmwareVersion> version;
  if (const uint32_t status = deviceInterface.readFirmwareVersion(device, version); status != 0) {
    return static_cast<int32_t>(status);
  }
  if (version) {
    device.version = versionCodeFromLabel(version->mainCPU);
  }

  std::optional<QString> serial;
  if (const uint32_t status = deviceInterface.readSerialID(device, serial); status != 0) {
    return static_cast<int32_t>(status);
  }
  if (serial) {
    device.serialID = *serial;
  }

  std::optional<uint32_t> deviceID;
  if (const uint32_t status = deviceInterface.readDeviceID(device, deviceID); status != 0) {
    return static_cast<int32_t>(status);
  }
  if (!deviceID) {
    return 0;
  }
  device.deviceID = *deviceID;
  device.transferAddress = deviceTable.transferAddressFor(device.usbPID, device.deviceID);
  device.updateType = device.transferAddress ? AudioDevice::UpdateType::scsiTransfer
                                             : AudioDevice::UpdateType::fileCopy;
  if (device.deviceID == 0) {
    std::optional<std::vector<AudioProductInformation>> list;
    const uint32_t status = deviceInterface.readProductInformation(device, list);
    if (status == 0 && list && !list->empty()) {
      const std::optional<QString>& text = list->front().modelID;
      bool ok = false;
      const qulonglong number = text && !text->isEmpty() ? text->toULongLong(&ok, 10) : 0;
      if (ok) {
        device.modelID = number;
      }
    }
    return static_cast<int32_t>(status);
  }
  if (const auto model = deviceTable.modelIDFor(device.usbPID, device.deviceID)) {
    device.modelID = *model;
  }
  return 0;
}
