#include "app/service/TaskReceiver.h"

#include <QCoreApplication>
#include <QEvent>

namespace {

QEvent::Type wakeEventType() {
  static const auto kType = static_cast<QEvent::Type>(QEvent::registerEventType());
  return kType;
}

}  // namespace

void TaskReceiver::post(std::function<void()> task) {
  {
    const std::lock_guard guard(mutex_);
    tasks_.push_back(std::move(task));
  }
  // One wake-up per task; the event queue owns the event from here on.
  QCoreApplication::postEvent(this, new QEvent(wakeEventType()));
}

TaskReceiver& TaskReceiver::main() {
  // Lives as long as the process, so that late tasks find it.
  static TaskReceiver* const receiver = [] {
    auto* created = new TaskReceiver;
    created->moveToThread(QCoreApplication::instance()->thread());
    return created;
  }();
  return *receiver;
}

bool TaskReceiver::event(QEvent* event) {
  if (event->type() != wakeEventType()) {
    return QObject::event(event);
  }
  std::function<void()> task;
  {
    const std::lock_guard guard(mutex_);
    if (tasks_.empty()) {
      return true;
    }
    task = std::move(tasks_.front());
    tasks_.pop_front();
  }
  task();
  return true;
}
