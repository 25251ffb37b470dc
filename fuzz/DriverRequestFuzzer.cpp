#include "driver/KvonExSCSIIOStruct.h"
#include "platform/registry/InMemoryRegistry.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <memory>
#include <span>

// Request records from a client are data: whatever they say, the driver must neither read
// nor write outside the buffers the client lent. Input: selector, flags, then the record;
// with flag 1 the data and sense addresses are pointed into the lent buffers at fuzzed
// offsets, so the boundaries themselves get exercised.
namespace {

class EchoTarget final : public ScsiTarget {
 public:
  void execute(ScsiTask& task) override {
    const auto cdb = task.commandDescriptorBlock();
    const uint8_t mode = cdb.size() > 1 ? cdb[1] % 3 : 0;
    if (mode == 2) {
      task.setServiceResponse(ScsiServiceResponse::serviceDeliveryOrTargetFailure);
      task.setTaskStatus(ScsiTaskStatus::kDeliveryFailure);
      return;
    }
    const std::span<uint8_t> buffer = task.dataBuffer();
    if (task.dataTransferDirection() == ScsiDataTransferDirection::fromTargetToInitiator) {
      std::fill(buffer.begin(), buffer.end(), uint8_t{0x5A});
    } else {
      for (const uint8_t byte : buffer) {
        checksum_ = static_cast<uint8_t>(checksum_ + byte);  // reads every byte sent
      }
    }
    task.setServiceResponse(ScsiServiceResponse::taskComplete);
    task.setTaskStatus(mode == 1 ? ScsiTaskStatus::kCheckCondition : ScsiTaskStatus::kGood);
    const std::array<uint8_t, 18> sense{0x70, 0, 0x05};
    task.setAutoSenseData(sense);
  }

 private:
  uint8_t checksum_ = 0;
};

struct Setup {
  InMemoryRegistry registry;
  std::shared_ptr<ClientTask> task =
      std::make_shared<ClientTask>([](std::string_view) { return kIOReturnNotPrivileged; });
  uint32_t plain = 0;
  uint32_t swapped = 0;

  Setup() {
    const auto recorder = registry.addRecorder(0xF7A1, 0x0210, std::make_shared<EchoTarget>());
    registry.openUserClient(recorder.driver, 0, &plain, task);
    RegistryProperties crossEndian{{"IOUserClientCrossEndian", true}};
    registry.openUserClient(recorder.driver, 0, &swapped, task, &crossEndian);
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static Setup setup;
  if (size < 2) {
    return 0;
  }
  constexpr std::array<uint32_t, 4> selectors{2, 5, 6, 7};
  const uint32_t selector = selectors.at(data[0] % selectors.size());
  const uint8_t flags = data[1];
  const bool crossEndian = (flags & 2) != 0;
  std::array<uint8_t, KvonRecord::kSizeT64> raw{};
  std::memcpy(raw.data(), data + 2, std::min(size - 2, raw.size()));

  // Every layout decodes without reading past its size.
  for (const uint32_t each : selectors) {
    const uint32_t bytes = *KvonRecord::recordSize(each);
    (void)KvonRecord::decode(each, std::span(raw.data(), bytes), crossEndian);
  }

  std::array<uint8_t, 64> buffer{};
  std::array<uint8_t, 18> sense{};
  const std::array<ClientBuffer, 2> lent{ClientBuffer::of(buffer.data(), buffer.size()),
                                         ClientBuffer::of(sense.data(), sense.size())};
  std::span<const uint8_t> input(raw.data(), *KvonRecord::recordSize(selector));
  std::array<uint8_t, KvonRecord::kSizeT64> patched{};
  if ((flags & 1) != 0) {
    auto record = *KvonRecord::decode(KvonRecord::kSelectorExecuteT64, raw, false);
    record.request.dataAddress =
        reinterpret_cast<uintptr_t>(buffer.data()) + record.request.dataAddress % 80;
    record.request.senseAddress =
        reinterpret_cast<uintptr_t>(sense.data()) + record.request.senseAddress % 24;
    record.request.dataLength %= 96;
    record.request.senseLength %= 32;
    uint32_t encoded = 0;
    patched = *KvonRecord::encode(selector, record, crossEndian, &encoded);
    input = std::span(patched.data(), encoded);
  }
  std::array<uint8_t, 4> output{};
  size_t outputSize = output.size();
  setup.registry.callStructMethod(crossEndian ? setup.swapped : setup.plain, selector, input,
                                  output.data(), &outputSize, lent);
  return 0;
}
