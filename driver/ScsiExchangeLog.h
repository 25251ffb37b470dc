#pragma once

#include "driver/ScsiTask.h"

#include <span>
#include <string>

// How a SCSI exchange is written down: the virtual recorder's transcript lines and the sense
// text of the application's log both come from here, so a line means the same wherever it
// is read.
class ScsiExchangeLog final {
 public:
  // One ended exchange as a transcript line, without the line break: the 16 command bytes
  // in upper-case hex, the direction (in, out, none), the requested data length and the
  // outcome: GOOD, CHECK CONDITION KEY/ASC/ASCQ, NO DEVICE, or STATUS and the status code.
  static std::string transcriptLine(const ScsiTask& task);
  // Sense bytes decoded by libsgutils2, "Sense key, Additional sense: text"; empty when the bytes
  // hold no sense data.
  static std::string senseText(std::span<const uint8_t> sense);
};
