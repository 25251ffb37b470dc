#pragma once

#include <array>
#include <cstdint>
#include <span>

enum class ScsiDataTransferDirection : uint8_t {
  none,
  fromInitiatorToTarget,
  fromTargetToInitiator
};

// How the exchange ended as far as the transport can tell.
enum class ScsiServiceResponse : uint8_t {
  requestInProcess = 0,
  serviceDeliveryOrTargetFailure = 1,
  taskComplete = 2,
};

// SCSI status bytes, and the codes reported when no status came back.
namespace ScsiTaskStatus {
inline constexpr uint32_t kGood = 0x00;
inline constexpr uint32_t kCheckCondition = 0x02;
inline constexpr uint32_t kBusy = 0x08;
inline constexpr uint32_t kTaskTimeoutOccurred = 0x01;
inline constexpr uint32_t kDeviceNotPresent = 0x04;
inline constexpr uint32_t kDeliveryFailure = 0x05;
inline constexpr uint32_t kNoStatus = 0xFF;
}  // namespace ScsiTaskStatus

// One SCSI command on its way to the recorder and back: command block, data phase,
// time-out, and what came back (service response, status, auto-sense).
class ScsiTask final {
 public:
  static constexpr size_t kSenseSize = 18;

  ScsiTask() = default;

  void resetForNewTask();

  // Accepts only the 6-, 10-, 12- and 16-byte command block forms.
  bool setCommandDescriptorBlock(std::span<const uint8_t> bytes);
  std::span<const uint8_t> commandDescriptorBlock() const {
    return std::span(cdb_).first(cdbLength_);
  }

  void setDataTransferDirection(ScsiDataTransferDirection direction) { direction_ = direction; }
  ScsiDataTransferDirection dataTransferDirection() const { return direction_; }

  // The data phase's memory: read by the target for data out, written for data in.
  void setDataBuffer(std::span<uint8_t> buffer) { buffer_ = buffer; }
  std::span<uint8_t> dataBuffer() const { return buffer_; }
  void setRequestedDataTransferCount(uint64_t count) { requestedCount_ = count; }
  uint64_t requestedDataTransferCount() const { return requestedCount_; }
  void setRealizedDataTransferCount(uint64_t count) { realizedCount_ = count; }
  uint64_t realizedDataTransferCount() const { return realizedCount_; }

  void setTimeoutDuration(uint32_t milliseconds) { timeoutMilliseconds_ = milliseconds; }
  uint32_t timeoutDuration() const { return timeoutMilliseconds_; }

  // Set by the target when the exchange ends.
  void setServiceResponse(ScsiServiceResponse response) { serviceResponse_ = response; }
  ScsiServiceResponse serviceResponse() const { return serviceResponse_; }
  void setTaskStatus(uint32_t status) { taskStatus_ = status; }
  uint32_t taskStatus() const { return taskStatus_; }
  // Sense bytes beyond kSenseSize are dropped; missing ones read as zero.
  void setAutoSenseData(std::span<const uint8_t> sense);
  const std::array<uint8_t, kSenseSize>& autoSenseData() const { return sense_; }
  size_t autoSenseLength() const { return senseLength_; }

 private:
  std::array<uint8_t, 16> cdb_{};
  size_t cdbLength_ = 0;
  ScsiDataTransferDirection direction_ = ScsiDataTransferDirection::none;
  std::span<uint8_t> buffer_;
  uint64_t requestedCount_ = 0;
  uint64_t realizedCount_ = 0;
  uint32_t timeoutMilliseconds_ = 0;
  ScsiServiceResponse serviceResponse_ = ScsiServiceResponse::requestInProcess;
  uint32_t taskStatus_ = ScsiTaskStatus::kNoStatus;
  std::array<uint8_t, kSenseSize> sense_{};
  size_t senseLength_ = 0;
};
