#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

class GadgetDisk;

// The device's side of USB mass-storage Bulk-Only Transport: it reads a command block
// wrapper, runs the command on the disk and says what goes back (data, a halt of the
// bulk-in endpoint, the status wrapper). Where the host's expectation (none, in or out, and
// how much) differs from what the command means, it follows the transport's thirteen cases:
// a shorter answer ends with a halt and a residue, a transfer in the wrong direction or
// beyond what the host allows is a phase error, which the host answers with a reset.
class BulkOnlyTransport final {
 public:
  static constexpr size_t kCommandLength = 31;
  static constexpr size_t kStatusLength = 13;
  // The largest data phase served; the host's storage driver sends far less.
  static constexpr uint32_t kLargestDataPhase = 32U << 20;

  enum class Status : uint8_t { passed = 0, failed = 1, phaseError = 2 };

  struct Command {
    uint32_t tag = 0;
    uint32_t dataTransferLength = 0;
    bool dataIn = false;
    std::vector<uint8_t> cdb;
  };

  struct Reply {
    std::vector<uint8_t> dataIn;
    bool haltIn = false;  // after the data: the host expected more than it gets
    std::array<uint8_t, kStatusLength> status{};
  };

  explicit BulkOnlyTransport(GadgetDisk& disk) : disk_(disk) {}

  // A valid and meaningful command block wrapper, or nullopt: wrong length or signature,
  // reserved bits set, a unit other than 0, a command block of 0 or more than 16 bytes.
  static std::optional<Command> parse(std::span<const uint8_t> bytes);
  static std::array<uint8_t, kStatusLength> statusWrapper(uint32_t tag, uint32_t residue,
                                                          Status status);

  // `dataOut` is what the host sent in the data phase: all of it, dataTransferLength bytes,
  // for a command whose data goes out.
  Reply answer(const Command& command, std::span<uint8_t> dataOut);

 private:
  GadgetDisk& disk_;
};
