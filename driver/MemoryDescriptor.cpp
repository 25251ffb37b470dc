#include "driver/MemoryDescriptor.h"

std::optional<MemoryDescriptor> MemoryDescriptor::withAddressRange(uint64_t address,
                                                                   uint64_t length,
                                                                   Direction direction,
                                                                   const ClientTask& task) {
  if (address == 0 || length == 0) {
    return std::nullopt;
  }
  const std::optional<ClientBuffer> lent = task.lentBufferHolding(address, length);
  if (!lent) {
    return std::nullopt;
  }
  return MemoryDescriptor(address, length, direction, lent->writable);
}

IOReturn MemoryDescriptor::prepare() {
  if (direction_ == Direction::in && !writable_) {
    return kIOReturnNotWritable;
  }
  prepared_ = true;
  return kIOReturnSuccess;
}

std::span<uint8_t> MemoryDescriptor::bytes() const {
  if (!prepared_) {
    return {};
  }
  // The client names its memory by address; the range lies inside what it lent for the call.
  auto* base = reinterpret_cast<uint8_t*>(  // NOLINT(performance-no-int-to-ptr)
      static_cast<uintptr_t>(address_));
  return {base, static_cast<size_t>(length_)};
}
