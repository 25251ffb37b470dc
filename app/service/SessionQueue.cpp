#include "app/service/SessionQueue.h"

#include <future>

SessionQueue::SessionQueue(const QString& name) : receiver_(new TaskReceiver) {
  thread_.setObjectName(name);
  receiver_->moveToThread(&thread_);
  thread_.start();
}

SessionQueue::~SessionQueue() {
  // Queued after every task posted so far, so those still run.
  post([this] { thread_.quit(); });
  thread_.wait();
  delete receiver_;
}

void SessionQueue::post(std::function<void()> task) { receiver_->post(std::move(task)); }

void SessionQueue::sync(const std::function<void()>& task) {
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
