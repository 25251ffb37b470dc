#include "platform/SerialQueue.h"

#include <pthread.h>

#include <future>

SerialQueue::SerialQueue(std::string name) : name_(std::move(name)), worker_([this] { run(); }) {
  // Thread names show in debuggers and in `top -H`; the kernel keeps 15 characters.
  pthread_setname_np(worker_.native_handle(), name_.substr(0, 15).c_str());
}

SerialQueue::~SerialQueue() {
  {
    const std::scoped_lock guard(mutex_);
    stopping_ = true;
  }
  wake_.notify_one();
  worker_.join();
}

void SerialQueue::async(std::function<void()> task) {
  {
    const std::scoped_lock guard(mutex_);
    tasks_.push_back(std::move(task));
  }
  wake_.notify_one();
}

void SerialQueue::sync(const std::function<void()>& task) {
  if (isCurrent()) {
    task();
    return;
  }
  std::promise<void> done;
  async([&task, &done] {
    task();
    done.set_value();
  });
  done.get_future().wait();
}

void SerialQueue::run() {
  std::unique_lock guard(mutex_);
  for (;;) {
    wake_.wait(guard, [this] { return stopping_ || !tasks_.empty(); });
    if (tasks_.empty()) {
      return;
    }
    std::function<void()> task = std::move(tasks_.front());
    tasks_.pop_front();
    guard.unlock();
    task();
    guard.lock();
  }
}
