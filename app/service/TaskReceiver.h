#pragma once

#include <QObject>

#include <deque>
#include <functional>
#include <mutex>

class QEvent;

// Runs tasks on the thread of this object, one per wake-up event, in the order posted. Tasks
// still queued when the object is deleted are dropped.
//
// The tasks travel in a queue of our own under a lock; Qt's event queue carries only an empty
// wake-up event. Qt is not built for thread checkers, which therefore cannot see how Qt hands
// an event from one thread to another; the wake-up is made under the same lock that the
// receiving thread takes before it reads it, so that the hand-over is visible to them.
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
  std::mutex mutex_;
  std::deque<std::function<void()>> tasks_;
};
