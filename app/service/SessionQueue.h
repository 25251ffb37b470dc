#pragma once

#include <QString>

#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

class QEventLoop;
class TaskReceiver;

// A serial queue on a thread of its own with its own event loop: tasks run one after the
// other, in the order posted, and Qt objects created by a task live on that thread.
//
// The thread is a standard thread that Qt adopts, so that its end is a join that thread
// checkers understand; everything the queue's objects did on it is finished when the
// destructor returns.
class SessionQueue final {
 public:
  explicit SessionQueue(const QString& name);
  SessionQueue(const SessionQueue&) = delete;
  SessionQueue& operator=(const SessionQueue&) = delete;
  // Runs the tasks already posted, then stops the thread; tasks those tasks post are dropped.
  ~SessionQueue();

  void post(std::function<void()> task);
  // Runs the task on the queue and waits for it; on the queue itself it runs at once.
  void sync(const std::function<void()>& task);
  bool isCurrent() const { return std::this_thread::get_id() == threadId_; }

 private:
  void run(const QString& name);

  std::mutex mutex_;
  std::condition_variable started_;
  // Set by the thread before the constructor returns, constant afterwards; lives on the
  // thread, deleted by the destructor once the thread has ended.
  TaskReceiver* receiver_ = nullptr;
  QEventLoop* loop_ = nullptr;
  std::thread::id threadId_;
  std::thread thread_;  // last: starts once the fields above exist
};
