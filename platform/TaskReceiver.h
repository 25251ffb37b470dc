#pragma once

#include <QObject>

#include <chrono>
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
// receiving thread takes before it reads it, so that the hand-over is visible to them. Every
// task that crosses to the main thread goes this way.
class TaskReceiver final : public QObject {
 public:
  TaskReceiver() = default;

  // Callable from any thread.
  void post(std::function<void()> task);

  // The receiver on the application's main thread; needs the application object. Called on
  // the main thread before the first post from elsewhere, it lets thread checkers see it
  // made there.
  static TaskReceiver& main();

  // Runs `task` on the main thread, after `delay` when one is given (a timer there). False,
  // and the task dropped, when there is no application object.
  static bool postToMain(std::function<void()> task,
                         std::chrono::milliseconds delay = std::chrono::milliseconds(0));

 protected:
  bool event(QEvent* event) override;

 private:
  std::mutex mutex_;
  std::deque<std::function<void()>> tasks_;
};
