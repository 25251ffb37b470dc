#pragma once

#include "app/device/AudioDeviceInterface.h"
#include "app/device/AudioDeviceTable.h"

#include <cstdint>

// Completes the record of the recorder the update check chose: its identity from what it
// reports, and from its device ID and the model table how it is updated and which model
// number the update service is asked about.
class GetDeviceStatusInteractor final {
 public:
  // 0 when every read succeeded, else the status of the first read that failed; the fields
  // of the reads before it keep their new values.
  int32_t execute(AudioDeviceInterface& deviceInterface, AudioDevice& device) const;

 private:
  AudioDeviceTable deviceTable;
};
