#include "driver/KvonExSCSIIOStruct.h"

#include <cstring>

namespace KvonRecord {
namespace {

// std::byteswap arrives only with C++23.
uint32_t swapped(uint32_t value) { return __builtin_bswap32(value); }
uint64_t swapped(uint64_t value) { return __builtin_bswap64(value); }

template <typename T>
T readField(std::span<const uint8_t> bytes, size_t offset, bool crossEndian) {
  T value{};
  std::memcpy(&value, bytes.subspan(offset, sizeof(T)).data(), sizeof(T));
  return crossEndian ? swapped(value) : value;
}

template <typename T>
void writeField(std::span<uint8_t> bytes, size_t offset, T value, bool crossEndian) {
  if (crossEndian) {
    value = swapped(value);
  }
  std::memcpy(bytes.subspan(offset, sizeof(T)).data(), &value, sizeof(T));
}

bool isWide(uint32_t selector) {
  return selector == kSelectorExecute64 || selector == kSelectorExecuteT64;
}

}  // namespace

std::optional<uint32_t> recordSize(uint32_t selector) {
  switch (selector) {
    case kSelectorExecute32:
      return kSize32;
    case kSelectorExecute64:
      return kSize64;
    case kSelectorExecuteT32:
      return kSizeT32;
    case kSelectorExecuteT64:
      return kSizeT64;
    default:
      return std::nullopt;
  }
}

bool hasTimeout(uint32_t selector) {
  return selector == kSelectorExecuteT32 || selector == kSelectorExecuteT64;
}

std::optional<KvonExSCSIIOStructT> decode(uint32_t selector, std::span<const uint8_t> bytes,
                                          bool crossEndian) {
  const std::optional<uint32_t> size = recordSize(selector);
  if (!size || bytes.size() != *size) {
    return std::nullopt;
  }
  KvonExSCSIIOStructT record;
  KvonExSCSIIOStruct& r = record.request;
  r.direction = readField<uint32_t>(bytes, 0, crossEndian);
  r.commandLength = readField<uint32_t>(bytes, 4, crossEndian);
  std::memcpy(r.commandBlock.data(), bytes.subspan(8, 16).data(), 16);
  if (isWide(selector)) {
    r.dataLength = readField<uint64_t>(bytes, 24, crossEndian);
    r.dataAddress = readField<uint64_t>(bytes, 32, crossEndian);
    r.senseLength = readField<uint64_t>(bytes, 40, crossEndian);
    r.senseAddress = readField<uint64_t>(bytes, 48, crossEndian);
  } else {
    // A 32-bit field is swapped as 32 bits before it is widened.
    r.dataLength = readField<uint32_t>(bytes, 24, crossEndian);
    r.dataAddress = readField<uint32_t>(bytes, 28, crossEndian);
    r.senseLength = readField<uint32_t>(bytes, 32, crossEndian);
    r.senseAddress = readField<uint32_t>(bytes, 36, crossEndian);
  }
  if (hasTimeout(selector)) {
    record.timeout = readField<uint32_t>(bytes, isWide(selector) ? 56 : 40, crossEndian);
  }
  return record;
}

std::optional<std::array<uint8_t, kSizeT64>> encode(uint32_t selector,
                                                    const KvonExSCSIIOStructT& record,
                                                    bool crossEndian, uint32_t* size) {
  const std::optional<uint32_t> recordBytes = recordSize(selector);
  if (!recordBytes) {
    return std::nullopt;
  }
  std::array<uint8_t, kSizeT64> out{};
  const std::span<uint8_t> bytes(out);
  const KvonExSCSIIOStruct& r = record.request;
  writeField(bytes, 0, r.direction, crossEndian);
  writeField(bytes, 4, r.commandLength, crossEndian);
  std::memcpy(bytes.subspan(8, 16).data(), r.commandBlock.data(), 16);
  if (isWide(selector)) {
    writeField(bytes, 24, r.dataLength, crossEndian);
    writeField(bytes, 32, r.dataAddress, crossEndian);
    writeField(bytes, 40, r.senseLength, crossEndian);
    writeField(bytes, 48, r.senseAddress, crossEndian);
  } else {
    writeField(bytes, 24, static_cast<uint32_t>(r.dataLength), crossEndian);
    writeField(bytes, 28, static_cast<uint32_t>(r.dataAddress), crossEndian);
    writeField(bytes, 32, static_cast<uint32_t>(r.senseLength), crossEndian);
    writeField(bytes, 36, static_cast<uint32_t>(r.senseAddress), crossEndian);
  }
  if (hasTimeout(selector)) {
    writeField(bytes, isWide(selector) ? 56 : 40, record.timeout, crossEndian);
  }
  if (size != nullptr) {
    *size = *recordBytes;
  }
  return out;
}

}  // namespace KvonRecord
