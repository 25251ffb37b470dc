#pragma once

#include "driver/ScsiTask.h"

#include <functional>
#include <span>
#include <string>

// The one place where SCSI exchanges are recorded. Every exchange of the driver passes
// ScsiPeripheralDevice::sendCommand, which reports it here once it has ended; the virtual
// recorder's transcript lines and the sense text of the application's log are written by
// the functions below, so a line means the same wherever it is read.
class ScsiExchangeLog final {
 public:
  using Observer = std::function<void(const ScsiTask&)>;

  // Replaces the observer; an empty one stops reporting. Returns the previous observer.
  static Observer setObserver(Observer observer);
  static void report(const ScsiTask& task);

  // One ended exchange as a transcript line, without the line break: the 16 command bytes
  // in upper-case hex, the direction (in, out, none), the requested data length and the
  // outcome: GOOD, CHECK CONDITION KEY/ASC/ASCQ, NO DEVICE, or STATUS and the status code.
  static std::string transcriptLine(const ScsiTask& task);
  // Sense bytes decoded by libsgutils2, "Sense key, Additional sense: text"; empty when the bytes
  // hold no sense data.
  static std::string senseText(std::span<const uint8_t> sense);
};
