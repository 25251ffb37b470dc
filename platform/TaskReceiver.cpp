#include "platform/TaskReceiver.h"

#include <QCoreApplication>
#include <QEvent>
#include <QTimer>

#include <atomic>

namespace {

// The main thread's receiver may be made on another thread and reach the main thread only
// through Qt's event queue; publishing it here orders its making before its first use there.
std::atomic<TaskReceiver*> publishedMain{nullptr};

QEvent::Type wakeEventType() {
  static const auto kType = static_cast<QEvent::Type>(QEvent::registerEventType());
  return kType;
}

}  // namespace

void TaskReceiver::post(std::function<void()> task) {
  QEvent* wakeUp = nullptr;
  {
    const std::lock_guard guard(mutex_);
    tasks_.push_back(std::move(task));
    wakeUp = new QEvent(wakeEventType());
  }
  // The event queue owns the event from here on.
  QCoreApplication::postEvent(this, wakeUp);
}

TaskReceiver& TaskReceiver::main() {
  // Lives as long as the process, so that late tasks find it.
  static TaskReceiver* const receiver = [] {
    auto* created = new TaskReceiver;
    created->moveToThread(QCoreApplication::instance()->thread());
    publishedMain.store(created, std::memory_order_release);
    return created;
  }();
  return *receiver;
}

bool TaskReceiver::postToMain(std::function<void()> task, std::chrono::milliseconds delay) {
  if (QCoreApplication::instance() == nullptr) {
    return false;
  }
  if (delay <= std::chrono::milliseconds(0)) {
    main().post(std::move(task));
    return true;
  }
  // The timer starts on the main thread, so only the hand-over crosses threads.
  main().post([delay, task = std::move(task)] {
    // The analyzer takes the slot object that Qt owns for a leak.
    // NOLINTNEXTLINE(clang-analyzer-cplusplus.NewDeleteLeaks)
    QTimer::singleShot(delay, &main(), task);
  });
  return true;
}

bool TaskReceiver::event(QEvent* event) {
  // Pairs with the publication in main().
  static_cast<void>(publishedMain.load(std::memory_order_acquire));
  std::unique_lock lock(mutex_);
  if (event->type() != wakeEventType()) {
    lock.unlock();
    return QObject::event(event);
  }
  if (tasks_.empty()) {
    return true;
  }
  const std::function<void()> task = std::move(tasks_.front());
  tasks_.pop_front();
  lock.unlock();
  task();
  return true;
}
