#pragma once

#include "driver/ClientTask.h"
#include "driver/IOReturn.h"

#include <cstdint>
#include <optional>
#include <span>

// A range of a client task's memory that the driver reads or writes during one request.
class MemoryDescriptor final {
 public:
  enum class Direction : uint8_t { out, in };  // out: memory to device; in: device to memory

  // None unless the whole range lies in a buffer that the task lent for the running call.
  static std::optional<MemoryDescriptor> withAddressRange(uint64_t address, uint64_t length,
                                                          Direction direction,
                                                          const ClientTask& task);

  // Fails with kIOReturnNotWritable when the device would write into read-only memory.
  IOReturn prepare();
  void complete() { prepared_ = false; }
  bool isPrepared() const { return prepared_; }

  // The range, valid while prepared.
  std::span<uint8_t> bytes() const;
  uint64_t length() const { return length_; }

 private:
  MemoryDescriptor(uint64_t address, uint64_t length, Direction direction, bool writable)
      : address_(address), length_(length), direction_(direction), writable_(writable) {}

  uint64_t address_;
  uint64_t length_;
  Direction direction_;
  bool writable_;
  bool prepared_ = false;
};
