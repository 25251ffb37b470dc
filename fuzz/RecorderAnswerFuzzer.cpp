// What a recorder sends back. The first byte picks the read; the rest is the answer: the
// item reads go straight to their decoders, the block count and the device-status use case
// through the real device interface over the in-memory driver.
#include "app/device/AudioDeviceInterfaceReal.h"
#include "app/device/GetDeviceStatusInteractor.h"
#include "app/device/RecorderAnswers.h"
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
  const QByteArray answer(reinterpret_cast<const char*>(data + 1),
                          static_cast<qsizetype>(size - 1));
  switch (data[0] % 8) {
    case 0:
      (void)RecorderAnswers::modelName(answer);
      return 0;
    case 1:
      (void)RecorderAnswers::firmwareVersion(answer).version();
      return 0;
    case 2:
      (void)RecorderAnswers::serialID(answer);
      return 0;
    case 3:
      (void)RecorderAnswers::deviceID(answer);
      return 0;
    case 4:
      (void)productInformationCount(answer);
      (void)RecorderAnswers::productInformation(answer);
      return 0;
    case 5:
      (void)RecorderAnswers::needsModeChange(answer);
      return 0;
    default:
      break;
  }
  setup.target->answer = std::span(data + 1, size - 1);
  AudioDevice device = setup.device;
  if (data[0] % 8 == 6) {
    (void)UpdateFirmwareCommands(setup.deviceInterface, device).areYouReady();
  } else {
    // Every read in turn, each answered with the same bytes, as the update check does.
    (void)GetDeviceStatusInteractor().execute(setup.deviceInterface, device);
  }
  return 0;
}
