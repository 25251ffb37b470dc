#include "app/service/SessionQueue.h"

#include "platform/TaskReceiver.h"

#include <QCoreApplication>
#include <QEventLoop>

#include <pthread.h>

SessionQueue::SessionQueue(const QString& name) : thread_([this, name] { run(name); }) {
  std::unique_lock lock(mutex_);
  started_.wait(lock, [this] { return receiver_ != nullptr; });
}

SessionQueue::~SessionQueue() {
  // Queued after every task posted so far, so those still run.
  post([this] { loop_->quit(); });
  thread_.join();
  // Tasks posted too late are dropped with it; the join orders this after its thread's work.
  delete receiver_;
}

void SessionQueue::run(const QString& name) {
  // The kernel keeps 15 bytes of a thread's name.
  pthread_setname_np(pthread_self(), name.toUtf8().left(15).constData());
  QEventLoop loop;
  {
    const std::lock_guard guard(mutex_);
    // Created here so that it lives on this thread.
    receiver_ = new TaskReceiver;
    loop_ = &loop;
    threadId_ = std::this_thread::get_id();
  }
  started_.notify_all();
  loop.exec();
  // What the tasks left for deletion goes before the thread ends.
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

void SessionQueue::post(std::function<void()> task) { receiver_->post(std::move(task)); }

void SessionQueue::sync(const std::function<void()>& task) {
  if (isCurrent()) {
    task();
    return;
  }
  std::mutex mutex;
  std::condition_variable finished;
  bool done = false;
  post([&] {
    task();
    const std::lock_guard guard(mutex);
    done = true;
    finished.notify_one();
  });
  std::unique_lock lock(mutex);
  finished.wait(lock, [&] { return done; });
}
