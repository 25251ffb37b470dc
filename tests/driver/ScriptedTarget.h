#pragma once

#include "driver/ScsiTarget.h"

#include <algorithm>
#include <cstdint>
#include <deque>
#include <functional>
#include <vector>

// An in-memory recorder that answers each task with the next scripted answer (or GOOD
// without data) and keeps what reached it.
class ScriptedTarget final : public ScsiTarget {
 public:
  struct Answer {
    ScsiServiceResponse response = ScsiServiceResponse::taskComplete;
    uint32_t status = ScsiTaskStatus::kGood;
    std::vector<uint8_t> dataIn;
    std::vector<uint8_t> sense;
    std::function<void()> during;  // runs while the command is with the recorder
  };
  struct Seen {
    std::vector<uint8_t> cdb;
    ScsiDataTransferDirection direction = ScsiDataTransferDirection::none;
    uint64_t requestedCount = 0;
    std::vector<uint8_t> dataOut;
    uint32_t timeout = 0;
  };

  static Answer data(std::vector<uint8_t> bytes) {
    Answer answer;
    answer.dataIn = std::move(bytes);
    return answer;
  }
  static Answer status(uint32_t status, std::vector<uint8_t> sense = {}) {
    Answer answer;
    answer.status = status;
    answer.sense = std::move(sense);
    return answer;
  }
  static Answer failure(uint32_t status) {
    Answer answer = ScriptedTarget::status(status);
    answer.response = ScsiServiceResponse::serviceDeliveryOrTargetFailure;
    return answer;
  }
  static Answer during(std::function<void()> action) {
    Answer answer;
    answer.during = std::move(action);
    return answer;
  }

  void script(Answer answer) { answers_.push_back(std::move(answer)); }
  const std::vector<Seen>& seen() const { return seen_; }

  void execute(ScsiTask& task) override {
    const auto cdb = task.commandDescriptorBlock();
    const auto buffer = task.dataBuffer();
    const auto direction = task.dataTransferDirection();
    const bool out = direction == ScsiDataTransferDirection::fromInitiatorToTarget;
    seen_.push_back(
        {{cdb.begin(), cdb.end()},
         direction,
         task.requestedDataTransferCount(),
         out ? std::vector<uint8_t>(buffer.begin(), buffer.end()) : std::vector<uint8_t>(),
         task.timeoutDuration()});
    Answer answer;
    if (!answers_.empty()) {
      answer = std::move(answers_.front());
      answers_.pop_front();
    }
    if (answer.during) {
      answer.during();
    }
    size_t copied = out ? buffer.size() : 0;
    if (direction == ScsiDataTransferDirection::fromTargetToInitiator) {
      copied = std::min(answer.dataIn.size(), buffer.size());
      std::copy_n(answer.dataIn.begin(), copied, buffer.begin());
    }
    task.setRealizedDataTransferCount(copied);
    task.setServiceResponse(answer.response);
    task.setTaskStatus(answer.status);
    task.setAutoSenseData(answer.sense);
  }

 private:
  std::deque<Answer> answers_;
  std::vector<Seen> seen_;
};
