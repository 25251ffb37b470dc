#pragma once

#include "driver/ScsiTask.h"
#include "platform/registry/Registry.h"

#include <QString>

#include <array>
#include <cstdint>
#include <optional>
#include <span>

// The data-direction code the request record carries.
enum class ScsiDataDirection : uint32_t { dataOut = 0x00, dataIn = 0x80, noData = 0xFF };

// The status of a command sent on a connection that is not open; nothing was sent.
inline constexpr uint32_t kScsiStatusNoConnection = 4;

// The whole outcome of one exchange.
struct ScsiOutcome {
  uint32_t result = kScsiStatusNoConnection;          // the driver call's result; 0 on success
  uint32_t status = ScsiTaskStatus::kNoStatus;        // the SCSI status, or the code for none
  std::array<uint8_t, ScsiTask::kSenseSize> sense{};  // filled on CHECK CONDITION

  // libsgutils2's reading of the sense bytes; empty when they hold none.
  QString senseText() const;
};

// The result of a command that the driver reports as sent but not completed, by its task
// status: a time-out, a recorder that went away during it (as if its connection had already
// gone), or an I/O error for anything else (a status such as BUSY).
uint32_t undeliveredResult(uint32_t status);

// The one way a vendor command reaches the recorder: lays out the request record, hands it
// to the driver's user client on `connection` (selector 5 with the driver's time-out, or 7
// with `timeout` in milliseconds) and logs the command and its outcome, with the decoded
// sense of a failed command. A null registry or connection 0 sends nothing.
ScsiOutcome sendScsiCommand(Registry* registry, uint32_t connection, ScsiDataDirection direction,
                            std::span<const uint8_t> command, std::span<uint8_t> data,
                            std::optional<uint32_t> timeout = std::nullopt);
