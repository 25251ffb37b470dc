#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>

// The request record of the execute selectors, in its 64-bit layout, after widening and
// byte-order correction. The command block bytes are never swapped.
struct KvonExSCSIIOStruct {
  uint32_t direction = 0;  // 0: data to the recorder; anything else: data from it
  uint32_t commandLength = 0;
  std::array<uint8_t, 16> commandBlock{};
  uint64_t dataLength = 0;
  uint64_t dataAddress = 0;
  uint64_t senseLength = 0;
  uint64_t senseAddress = 0;
};

// The same with a time-out in milliseconds.
struct KvonExSCSIIOStructT {
  KvonExSCSIIOStruct request;
  uint32_t timeout = 0;
};

// Selector numbers and the structure sizes that go with them. Every layout is declared
// here and nowhere else.
namespace KvonRecord {

inline constexpr uint32_t kSelectorOpen = 0;
inline constexpr uint32_t kSelectorClose = 1;
inline constexpr uint32_t kSelectorExecute32 = 2;
inline constexpr uint32_t kSelectorExecute64 = 5;
inline constexpr uint32_t kSelectorExecuteT32 = 6;
inline constexpr uint32_t kSelectorExecuteT64 = 7;

inline constexpr uint32_t kSize32 = 40;
inline constexpr uint32_t kSize64 = 56;
inline constexpr uint32_t kSizeT32 = 44;
inline constexpr uint32_t kSizeT64 = 64;
inline constexpr uint32_t kStatusSize = 4;

// The structure input size a selector takes, or none for a selector without a record.
std::optional<uint32_t> recordSize(uint32_t selector);
bool hasTimeout(uint32_t selector);

// Reads the record of `selector` from exactly recordSize(selector) bytes; with crossEndian
// the integer fields arrive byte-swapped. None when the size or the selector does not fit.
std::optional<KvonExSCSIIOStructT> decode(uint32_t selector, std::span<const uint8_t> bytes,
                                          bool crossEndian);

// Writes the record of `selector` as a client of that layout and byte order would; a 32-bit
// layout truncates the lengths and addresses. Empty for a selector without a record.
std::optional<std::array<uint8_t, kSizeT64>> encode(uint32_t selector,
                                                    const KvonExSCSIIOStructT& record,
                                                    bool crossEndian, uint32_t* size);

}  // namespace KvonRecord
