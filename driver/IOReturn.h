#pragma once

#include <cstdint>

// Return codes of the driver interface. They keep the values the application has always
// compared against, so a status read from a log means the same on every platform.
using IOReturn = uint32_t;

inline constexpr IOReturn kIOReturnSuccess = 0;
inline constexpr IOReturn kIOReturnNoMemory = 0xE00002BD;
inline constexpr IOReturn kIOReturnNoDevice = 0xE00002C0;
inline constexpr IOReturn kIOReturnNotPrivileged = 0xE00002C1;
inline constexpr IOReturn kIOReturnBadArgument = 0xE00002C2;
inline constexpr IOReturn kIOReturnExclusiveAccess = 0xE00002C5;
inline constexpr IOReturn kIOReturnUnsupported = 0xE00002C7;
inline constexpr IOReturn kIOReturnIOError = 0xE00002CA;
inline constexpr IOReturn kIOReturnTimeout = 0xE00002D6;
inline constexpr IOReturn kIOReturnNotAttached = 0xE00002D9;
inline constexpr IOReturn kIOReturnNotWritable = 0xE00002E2;
