// What a recorder sends back, decoded by the real device interface over the in-memory
// driver. The first byte picks the read; the rest is the data phase of every answer.
#include "app/device/AudioDeviceInterfaceReal.h"
#include "app/device/GetDeviceStatusInteractor.h"
#include "app/firmware/UpdateFirmwareCommands.h"
#include "driver/ScsiTarget.h"
#include "driver/ScsiTask.h"
#include "platform/registry/InMemoryRegistry.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

namespace {

class AnsweringTarget final : public ScsiTarget {
 public:
  void execute(ScsiTask& task) override {
    const std::span<uint8_t> buffer = task.dataBuffer();
    if (task.dataTransferDirection() == ScsiDataTransferDirection::fromTargetToInitiator) {
      const size_t count = std::min(buffer.size(), answer.size());
      std::copy_n(answer.begin(), count, buffer.begin());
      task.setRealizedDataTransferCount(count);
    }
    task.setServiceResponse(ScsiServiceResponse::taskComplete);
    task.setTaskStatus(ScsiTaskStatus::kGood);
  }

  std::span<const uint8_t> answer;
};

struct Setup {
  std::shared_ptr<InMemoryRegistry> registry = std::make_shared<InMemoryRegistry>();
  std::shared_ptr<AnsweringTarget> target = std::make_shared<AnsweringTarget>();
  AudioDeviceInterfaceReal deviceInterface;
  AudioDevice device{0xF7A1, 0x0210};

  Setup() {
    const auto recorder = registry->addRecorder(0xF7A1, 0x0210, target);
    device.driverEntry = std::make_shared<IOObject>(registry, recorder.driver);
    device.driverEntry->open();
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static Setup setup;
  if (size < 1) {
    return 0;
  }
  setup.target->answer = std::span(data + 1, size - 1);
  AudioDeviceInterfaceReal& deviceInterface = setup.deviceInterface;
  AudioDevice device = setup.device;
  switch (data[0] % 8) {
    case 0: {
      std::optional<QString> name;
      deviceInterface.readModelName(device, name);
      break;
    }
    case 1: {
      std::optional<RecorderFirmwareVersion> version;
      deviceInterface.readFirmwareVersion(device, version);
      break;
    }
    case 2: {
      std::optional<QString> serial;
      deviceInterface.readSerialID(device, serial);
      break;
    }
    case 3: {
      std::optional<uint32_t> deviceID;
      deviceInterface.readDeviceID(device, deviceID);
      break;
    }
    case 4: {
      std::optional<std::vector<AudioProductInformation>> list;
      deviceInterface.readProductInformation(device, list);
      break;
    }
    case 5:
      (void)deviceInterface.requiresModeChange(device);
      break;
    case 6:
      (void)UpdateFirmwareCommands(deviceInterface, device).areYouReady();
      break;
    default:
      // Every read in turn, each answered with the same bytes, as the update check does.
      (void)GetDeviceStatusInteractor().execute(deviceInterface, device);
      break;
  }
  return 0;
}
