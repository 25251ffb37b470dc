#include "driver/ScsiTask.h"

#include <algorithm>

void ScsiTask::resetForNewTask() { *this = ScsiTask(); }

bool ScsiTask::setCommandDescriptorBlock(std::span<const uint8_t> bytes) {
  const size_t length = bytes.size();
  if (length != 6 && length != 10 && length != 12 && length != 16) {
    return false;
  }
  cdb_.fill(0);
  std::copy(bytes.begin(), bytes.end(), cdb_.begin());
  cdbLength_ = length;
  return true;
}

void ScsiTask::setAutoSenseData(std::span<const uint8_t> sense) {
  sense_.fill(0);
  senseLength_ = std::min(sense.size(), kSenseSize);
  std::copy_n(sense.begin(), senseLength_, sense_.begin());
}
