#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

// A serial queue over one worker thread: tasks run one after the other in the order they
// were posted. For the device queue, the detector's queue and the volume tables' unmounts,
// whose tasks block; they need no event loop.
class SerialQueue final {
 public:
  explicit SerialQueue(std::string name);
  SerialQueue(const SerialQueue&) = delete;
  SerialQueue& operator=(const SerialQueue&) = delete;
  // Runs the tasks already posted, then stops the thread. A task may destroy its own queue
  // (its completion let go of the owner): the thread then finishes the queue on its own.
  ~SerialQueue();

  // Hands the task over; it runs after the tasks posted before it.
  void post(std::function<void()> task);
  // Runs the task on the queue and waits for it; on the queue itself it runs at once.
  void sync(const std::function<void()>& task);
  bool isCurrent() const { return std::this_thread::get_id() == worker_.get_id(); }
  const std::string& name() const { return name_; }

 private:
  // Shared with the thread, which outlives the queue when a task destroyed it.
  struct State {
    std::mutex mutex;
    std::condition_variable wake;
    std::deque<std::function<void()>> tasks;
    bool stopping = false;
  };

  static void run(const std::shared_ptr<State>& state);

  const std::string name_;
  const std::shared_ptr<State> state_ = std::make_shared<State>();
  std::thread worker_;  // last: starts once the rest is ready
};
