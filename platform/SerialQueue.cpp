#include "platform/SerialQueue.h"

#include <pthread.h>

#include <future>

SerialQueue::SerialQueue(std::string name)
    : name_(std::move(name)), worker_(&SerialQueue::run, state_) {
  // Thread names show in debuggers and in `top -H`; the kernel keeps 15 characters.
  pthread_setname_np(worker_.native_handle(), name_.substr(0, 15).c_str());
}

SerialQueue::~SerialQueue() {
  {
    const std::scoped_lock guard(state_->mutex);
    state_->stopping = true;
  }
  state_->wake.notify_one();
  if (isCurrent()) {
    worker_.detach();
  } else {
    worker_.join();
  }
}

void SerialQueue::post(std::function<void()> task) {
  {
    const std::scoped_lock guard(state_->mutex);
    state_->tasks.push_back(std::move(task));
  }
  state_->wake.notify_one();
}

void SerialQueue::sync(const std::function<void()>& task) {
  if (isCurrent()) {
    task();
    return;
  }
  std::promise<void> done;
  post([&task, &done] {
    task();
    done.set_value();
  });
  done.get_future().wait();
}

void SerialQueue::run(const std::shared_ptr<State>& state) {
  std::unique_lock guard(state->mutex);
  for (;;) {
    state->wake.wait(guard, [&state] { return state->stopping || !state->tasks.empty(); });
    if (state->tasks.empty()) {
      return;
    }
    std::function<void()> task = std::move(state->tasks.front());
    state->tasks.pop_front();
    guard.unlock();
    task();
    // What the task captured goes before the lock is taken again: its last owner may be the
    // one of this queue, whose destructor takes the lock.
    task = nullptr;
    guard.lock();
  }
}
