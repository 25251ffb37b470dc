#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

// A serial queue over one worker thread: tasks run one after the other in the order they
// were posted. For the device queue and the detector's queue, whose tasks block on the
// recorder; they need no event loop.
class SerialQueue final {
 public:
  explicit SerialQueue(std::string name);
  SerialQueue(const SerialQueue&) = delete;
  SerialQueue& operator=(const SerialQueue&) = delete;
  // Runs the tasks already posted, then stops the thread.
  ~SerialQueue();

  void async(std::function<void()> task);
  // Runs the task on the queue and waits for it; on the queue itself it runs at once.
  void sync(const std::function<void()>& task);
  bool isCurrent() const { return std::this_thread::get_id() == worker_.get_id(); }
  const std::string& name() const { return name_; }

 private:
  void run();

  const std::string name_;
  std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<std::function<void()>> tasks_;
  bool stopping_ = false;
  std::thread worker_;  // last: starts once the rest is ready
};
