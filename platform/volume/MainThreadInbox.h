#pragma once

#include <QObject>

#include <deque>
#include <functional>
#include <mutex>

class QEvent;

// Runs tasks on the application's main thread, in the order posted from any thread.
//
// The tasks wait in a queue of our own under a lock, and Qt's event queue carries only an
// empty wake-up event, made under that lock and read under it again: Qt is not built for
// thread checkers, which would not see how it hands an event from one thread to another.
class MainThreadInbox final : public QObject {
 public:
  MainThreadInbox() = default;

  // False, and the task dropped, when there is no Qt application (no main thread to run on).
  static bool post(std::function<void()> task);
  // Creates the inbox on this thread if it is not there yet. Called on the main thread
  // before the first post from elsewhere, it lets thread checkers see the inbox made there.
  static void prepare();

 protected:
  bool event(QEvent* event) override;

 private:
  static MainThreadInbox* instance();
  void enqueue(std::function<void()> task);

  std::mutex mutex_;
  std::deque<std::function<void()>> tasks_;
};
