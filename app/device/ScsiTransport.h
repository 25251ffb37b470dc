#pragma once

#include "platform/registry/Registry.h"

#include <cstdint>

// The data-direction code the request record carries.
enum class ScsiDataDirection : uint32_t { dataOut = 0x00, dataIn = 0x80, noData = 0xFF };

// The status of a command sent on a connection that is not open; nothing was sent.
inline constexpr uint32_t kScsiStatusNoConnection = 4;

// Lays out the request record and hands it to the driver's user client on `connection`
// (selector 5, the driver's fixed time-out). Returns the call's result unchanged; the
// driver's task status is not read.
uint32_t executeSCSICommand(Registry& registry, uint32_t connection, ScsiDataDirection direction,
                            const uint8_t* command, uint32_t commandLength, uint8_t* data,
                            uint32_t dataLength, uint8_t* sense, uint32_t senseLength);
// The same with the record's own time-out in milliseconds (selector 7).
uint32_t executeSCSICommandT(Registry& registry, uint32_t connection, ScsiDataDirection direction,
                             const uint8_t* command, uint32_t commandLength, uint8_t* data,
                             uint32_t dataLength, uint8_t* sense, uint32_t senseLength,
                             uint32_t timeout);
