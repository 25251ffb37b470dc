#pragma once

#include "driver/IOReturn.h"
#include "driver/ScsiTarget.h"

#include <memory>
#include <string>

struct sg_pt_base;

// The recorder behind its /dev/sg node, reached through libsgutils2's pass-through layer.
class SgPtTarget final : public ScsiTarget {
 public:
  // Opens `devicePath` read-write and exclusively; kIOReturnNotPrivileged when the user
  // may not, kIOReturnExclusiveAccess when another program has it open, and
  // kIOReturnNoDevice when there is no such node.
  static IOReturn open(const std::string& devicePath, std::unique_ptr<SgPtTarget>* target);

  SgPtTarget(const SgPtTarget&) = delete;
  SgPtTarget& operator=(const SgPtTarget&) = delete;
  ~SgPtTarget() override;

  void execute(ScsiTask& task) override;
  const std::string& devicePath() const { return path_; }

  // sg_pt counts time-outs in whole seconds; a partial second counts as a whole one.
  static int timeoutSeconds(uint32_t milliseconds);

 private:
  SgPtTarget(std::string path, int fd);

  std::string path_;
  int fd_;
};
