#include "driver/SgPtTarget.h"

#include <fcntl.h>
#include <scsi/sg_io_linux.h>
#include <scsi/sg_pt.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <climits>
#include <fstream>
#include <thread>
#include <utility>

namespace {

struct PassThroughObject {
  sg_pt_base* object;
  explicit PassThroughObject(int fd) : object(construct_scsi_pt_obj_with_fd(fd, 0)) {}
  PassThroughObject(const PassThroughObject&) = delete;
  PassThroughObject& operator=(const PassThroughObject&) = delete;
  ~PassThroughObject() {
    if (object != nullptr) {
      destruct_scsi_pt_obj(object);
    }
  }
};

constexpr int kBusyAttempts = 5;
constexpr std::chrono::milliseconds kBusyPause(200);
// How long a device whose command failed in transport is watched for leaving.
constexpr int kLeavingChecks = 5;
constexpr std::chrono::milliseconds kLeavingPause(100);

void failDelivery(ScsiTask& task, uint32_t status) {
  task.setServiceResponse(ScsiServiceResponse::serviceDeliveryOrTargetFailure);
  task.setTaskStatus(status);
}

// The return code of an open that failed with `error` (errno).
IOReturn openError(int error) {
  switch (error) {
    case EACCES:
    case EPERM:
    case EROFS:
      return kIOReturnNotPrivileged;
    case EBUSY:
      return kIOReturnExclusiveAccess;
    default:
      return kIOReturnNoDevice;
  }
}

// Whether the SCSI device behind the node `fd` is going away: USB storage fails the command in
// flight when the cable is pulled with a plain transport error (DID_ERROR), and the kernel
// removes the device a moment later. Its sysfs state tells.
bool isLeaving(int fd) {
  struct stat node {};
  if (::fstat(fd, &node) != 0) {
    return true;
  }
  const std::string state = "/sys/dev/char/" + std::to_string(major(node.st_rdev)) + ":" +
                            std::to_string(minor(node.st_rdev)) + "/device/state";
  for (int check = 0; check < kLeavingChecks; ++check) {
    if (check > 0) {
      std::this_thread::sleep_for(kLeavingPause);
    }
    std::ifstream file(state);
    std::string value;
    if (!(file >> value) || (value != "running" && value != "blocked" && value != "quiesce")) {
      return true;
    }
  }
  return false;
}

// The task status of a command that did not complete, from SG_IO's host status (DID_*) and
// the system error.
uint32_t failureStatus(int hostStatus, int osError) {
  if (hostStatus == DID_TIME_OUT) {
    return ScsiTaskStatus::kTaskTimeoutOccurred;
  }
  if (hostStatus == DID_NO_CONNECT || hostStatus == DID_BAD_TARGET || osError == ENODEV ||
      osError == ENXIO) {
    return ScsiTaskStatus::kDeviceNotPresent;
  }
  return ScsiTaskStatus::kDeliveryFailure;
}

}  // namespace

IOReturn SgPtTarget::open(const std::string& devicePath, std::unique_ptr<SgPtTarget>* target) {
  // Exclusive, so that the commands of two programs never interleave; without blocking, so
  // that a second program is refused at once instead of waiting for the first to finish.
  // Just after the recorder appears, udev's helpers may hold the node for a moment.
  int fd = -EBUSY;
  for (int attempt = 0; fd == -EBUSY && attempt < kBusyAttempts; ++attempt) {
    if (attempt > 0) {
      std::this_thread::sleep_for(kBusyPause);
    }
    fd = scsi_pt_open_flags(devicePath.c_str(), O_RDWR | O_EXCL | O_NONBLOCK, 0);
  }
  if (fd < 0) {
    return openError(-fd);
  }
  target->reset(new SgPtTarget(devicePath, fd));
  return kIOReturnSuccess;
}

SgPtTarget::SgPtTarget(std::string path, int fd) : path_(std::move(path)), fd_(fd) {}

SgPtTarget::~SgPtTarget() { scsi_pt_close_device(fd_); }

int SgPtTarget::timeoutSeconds(uint32_t milliseconds) {
  return static_cast<int>((static_cast<uint64_t>(milliseconds) + 999) / 1000);
}

void SgPtTarget::execute(ScsiTask& task) {
  const PassThroughObject pt(fd_);
  if (pt.object == nullptr) {
    failDelivery(task, ScsiTaskStatus::kDeliveryFailure);
    return;
  }
  const std::span<const uint8_t> cdb = task.commandDescriptorBlock();
  std::array<uint8_t, ScsiTask::kSenseSize> sense{};
  // sg_pt takes neither const command blocks nor lengths beyond int.
  std::array<uint8_t, 16> command{};
  std::copy(cdb.begin(), cdb.end(), command.begin());
  const uint64_t count = task.requestedDataTransferCount();
  const std::span<uint8_t> buffer = task.dataBuffer();
  if (count > INT_MAX || count > buffer.size()) {
    failDelivery(task, ScsiTaskStatus::kDeliveryFailure);
    return;
  }
  set_scsi_pt_cdb(pt.object, command.data(), static_cast<int>(cdb.size()));
  set_scsi_pt_sense(pt.object, sense.data(), static_cast<int>(sense.size()));
  switch (task.dataTransferDirection()) {
    case ScsiDataTransferDirection::fromTargetToInitiator:
      set_scsi_pt_data_in(pt.object, buffer.data(), static_cast<int>(count));
      break;
    case ScsiDataTransferDirection::fromInitiatorToTarget:
      set_scsi_pt_data_out(pt.object, buffer.data(), static_cast<int>(count));
      break;
    case ScsiDataTransferDirection::none:
      break;
  }

  const int result = do_scsi_pt(pt.object, fd_, timeoutSeconds(task.timeoutDuration()), 0);
  if (result == SCSI_PT_DO_TIMEOUT) {
    failDelivery(task, ScsiTaskStatus::kTaskTimeoutOccurred);
    return;
  }
  if (result < 0 || result == SCSI_PT_DO_BAD_PARAMS || result == SCSI_PT_DO_NOT_SUPPORTED) {
    failDelivery(task, failureStatus(DID_OK, result < 0 ? -result : 0));
    return;
  }
  // Linux reports a command that timed out, or a device that went away during it, in the
  // host status of a completed SG_IO.
  const int category = get_scsi_pt_result_category(pt.object);
  if (category == SCSI_PT_RESULT_TRANSPORT_ERR || category == SCSI_PT_RESULT_OS_ERR) {
    const int hostStatus = get_scsi_pt_transport_err(pt.object);
    uint32_t status = failureStatus(hostStatus, get_scsi_pt_os_err(pt.object));
    if (hostStatus == DID_ERROR && isLeaving(fd_)) {
      status = ScsiTaskStatus::kDeviceNotPresent;
    }
    failDelivery(task, status);
    return;
  }
  task.setServiceResponse(ScsiServiceResponse::taskComplete);
  task.setTaskStatus(static_cast<uint32_t>(get_scsi_pt_status_response(pt.object)) & 0xFFU);
  const int resid = get_scsi_pt_resid(pt.object);
  task.setRealizedDataTransferCount(resid > 0 && static_cast<uint64_t>(resid) <= count
                                        ? count - static_cast<uint64_t>(resid)
                                        : count);
  const int senseLength = get_scsi_pt_sense_len(pt.object);
  if (senseLength > 0) {
    task.setAutoSenseData(
        std::span(sense).first(std::min(static_cast<size_t>(senseLength), sense.size())));
  }
}
