#include "platform/volume/VolumeWorker.h"

VolumeWorker::~VolumeWorker() {
  std::thread thread;
  {
    const std::lock_guard guard(queue_->mutex);
    queue_->stopping = true;
    thread = std::move(thread_);
  }
  queue_->wake.notify_one();
  if (!thread.joinable()) {
    return;
  }
  if (thread.get_id() == std::this_thread::get_id()) {
    // A completion let go of the table's last owner: the thread ends after its queue.
    thread.detach();
  } else {
    thread.join();
  }
}

void VolumeWorker::post(std::function<void()> task) {
  {
    const std::lock_guard guard(queue_->mutex);
    queue_->tasks.push_back(std::move(task));
    if (!thread_.joinable()) {
      thread_ = std::thread(&VolumeWorker::run, queue_);
    }
  }
  queue_->wake.notify_one();
}

void VolumeWorker::run(const std::shared_ptr<Queue>& queue) {
  std::unique_lock guard(queue->mutex);
  for (;;) {
    queue->wake.wait(guard, [&queue] { return queue->stopping || !queue->tasks.empty(); });
    if (queue->tasks.empty()) {
      return;
    }
    std::function<void()> task = std::move(queue->tasks.front());
    queue->tasks.pop_front();
    guard.unlock();
    task();
    task = nullptr;  // captured state goes before the lock is taken again
    guard.lock();
  }
}
