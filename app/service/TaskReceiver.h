#pragma once

#include <QObject>

#include <deque>
#include <functional>
#include <mutex>

class QEvent;

// Runs tasks on the thread of this object, in the order posted, through its event queue. Tasks
// still queued when the object is deleted are dropped.
class TaskReceiver final : public QObject {
 public:
  TaskReceiver() = default;

  // Callable from any thread.
  void post(std::function<void()> task);

  // The receiver on the application's main thread; needs the application object.
  static TaskReceiver& main();

 protected:
  bool event(QEvent* event) override;

 private:
  // The tasks travel under a lock of our own rather than inside Qt's events, so that thread
  // checkers see the hand-over.
  std::mutex mutex_;
  std::deque<std::function<void()>> tasks_;
};
