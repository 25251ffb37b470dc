#pragma once

#include "app/service/TaskReceiver.h"

#include <QString>
#include <QThread>

#include <functional>

// A serial queue on a thread of its own with its own event loop: tasks run one after the
// other, in the order posted, and Qt objects created by a task live on that thread.
class SessionQueue final {
 public:
  explicit SessionQueue(const QString& name);
  SessionQueue(const SessionQueue&) = delete;
  SessionQueue& operator=(const SessionQueue&) = delete;
  // Runs the tasks already posted, then stops the thread.
  ~SessionQueue();

  void post(std::function<void()> task);
  // Runs the task on the queue and waits for it; on the queue itself it runs at once.
  void sync(const std::function<void()>& task);
  bool isCurrent() const { return QThread::currentThread() == &thread_; }

 private:
  QThread thread_;
  TaskReceiver* receiver_;  // lives on thread_
};
