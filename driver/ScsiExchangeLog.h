#pragma once

#include "driver/ScsiTask.h"

#include <functional>

// Every SCSI exchange of the driver passes ScsiPeripheralDevice::sendCommand, which reports
// it here once it has ended, so it can be logged or recorded (and replayed) in one place.
class ScsiExchangeLog final {
 public:
  using Observer = std::function<void(const ScsiTask&)>;

  // Replaces the observer; an empty one stops reporting. Returns the previous observer.
  static Observer setObserver(Observer observer);
  static void report(const ScsiTask& task);
};
