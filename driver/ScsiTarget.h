#pragma once

#include "driver/ScsiTask.h"

// What answers SCSI tasks: the recorder behind its /dev/sg node, or an in-memory recorder
// in tests and the virtual recorder. execute() runs the task to its end and sets the
// service response, the task status, the realized transfer count and, with CHECK
// CONDITION, the sense data; for data in it fills the task's data buffer.
class ScsiTarget {
 public:
  ScsiTarget() = default;
  ScsiTarget(const ScsiTarget&) = delete;
  ScsiTarget& operator=(const ScsiTarget&) = delete;
  virtual ~ScsiTarget() = default;

  virtual void execute(ScsiTask& task) = 0;
};
