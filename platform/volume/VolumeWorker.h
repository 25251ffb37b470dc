#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

// The thread on which a table runs unmounts and calls their completions, one task after
// another. Started on first use; the destructor runs what was queued, then joins, so every
// completion is called exactly once even when the table goes away.
class VolumeWorker final {
 public:
  VolumeWorker() = default;
  VolumeWorker(const VolumeWorker&) = delete;
  VolumeWorker& operator=(const VolumeWorker&) = delete;
  ~VolumeWorker();

  void post(std::function<void()> task);

 private:
  // Shared with the thread, which may outlive the worker when a task destroyed it.
  struct Queue {
    std::mutex mutex;
    std::condition_variable wake;
    std::deque<std::function<void()>> tasks;
    bool stopping = false;
  };

  static void run(const std::shared_ptr<Queue>& queue);

  std::shared_ptr<Queue> queue_ = std::make_shared<Queue>();
  std::thread thread_;  // guarded by queue_->mutex
};
