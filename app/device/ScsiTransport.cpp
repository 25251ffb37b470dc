#include "app/device/ScsiTransport.h"

#include "driver/KvonExSCSIIOStruct.h"

#include <algorithm>
#include <array>

namespace {

uint32_t send(Registry& registry, uint32_t connection, uint32_t selector,
              ScsiDataDirection direction, const uint8_t* command, uint32_t commandLength,
              uint8_t* data, uint32_t dataLength, uint8_t* sense, uint32_t senseLength,
              uint32_t timeout) {
  if (connection == 0) {
    return kScsiStatusNoConnection;
  }
  KvonExSCSIIOStructT record;
  record.request.direction = static_cast<uint32_t>(direction);
  record.request.commandLength = commandLength;
  std::copy_n(command, std::min<size_t>(commandLength, record.request.commandBlock.size()),
              record.request.commandBlock.begin());
  record.request.dataLength = dataLength;
  record.request.dataAddress = reinterpret_cast<uintptr_t>(data);
  record.request.senseLength = senseLength;
  record.request.senseAddress = reinterpret_cast<uintptr_t>(sense);
  record.timeout = timeout;
  uint32_t size = 0;
  const auto bytes = KvonRecord::encode(selector, record, false, &size);
  std::array<uint8_t, KvonRecord::kStatusSize> output{};
  size_t outputSize = output.size();
  // The buffers are lent for this call only: the driver may use nothing else.
  const std::array<ClientBuffer, 2> lent{ClientBuffer::of(data, dataLength),
                                         ClientBuffer::of(sense, senseLength)};
  return registry.callStructMethod(connection, selector, std::span(bytes->data(), size),
                                   output.data(), &outputSize, lent);
}

}  // namespace

uint32_t executeSCSICommand(Registry& registry, uint32_t connection, ScsiDataDirection direction,
                            const uint8_t* command, uint32_t commandLength, uint8_t* data,
                            uint32_t dataLength, uint8_t* sense, uint32_t senseLength) {
  return send(registry, connection, KvonRecord::kSelectorExecute64, direction, command,
              commandLength, data, dataLength, sense, senseLength, 0);
}

uint32_t executeSCSICommandT(Registry& registry, uint32_t connection, ScsiDataDirection direction,
                             const uint8_t* command, uint32_t commandLength, uint8_t* data,
                             uint32_t dataLength, uint8_t* sense, uint32_t senseLength,
                             uint32_t timeout) {
  return send(registry, connection, KvonRecord::kSelectorExecuteT64, direction, command,
              commandLength, data, dataLength, sense, senseLength, timeout);
}
