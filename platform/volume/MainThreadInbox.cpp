#include "platform/volume/MainThreadInbox.h"

#include <QCoreApplication>
#include <QEvent>

namespace {

QEvent::Type wakeUpType() {
  static const auto kType = static_cast<QEvent::Type>(QEvent::registerEventType());
  return kType;
}

}  // namespace

MainThreadInbox* MainThreadInbox::instance() {
  QCoreApplication* application = QCoreApplication::instance();
  if (application == nullptr) {
    return nullptr;
  }
  // Lives as long as the process, so that late tasks still find it.
  static MainThreadInbox* const inbox = [application] {
    auto* created = new MainThreadInbox;
    created->moveToThread(application->thread());
    return created;
  }();
  return inbox;
}

bool MainThreadInbox::post(std::function<void()> task) {
  MainThreadInbox* inbox = instance();
  if (inbox == nullptr) {
    return false;
  }
  inbox->enqueue(std::move(task));
  return true;
}

void MainThreadInbox::prepare() { instance(); }

void MainThreadInbox::enqueue(std::function<void()> task) {
  QEvent* wakeUp = nullptr;
  {
    const std::lock_guard guard(mutex_);
    tasks_.push_back(std::move(task));
    wakeUp = new QEvent(wakeUpType());
  }
  QCoreApplication::postEvent(this, wakeUp);  // the event queue owns it from here
}

bool MainThreadInbox::event(QEvent* event) {
  std::unique_lock guard(mutex_);
  if (event->type() != wakeUpType()) {
    guard.unlock();
    return QObject::event(event);
  }
  if (tasks_.empty()) {
    return true;
  }
  const std::function<void()> task = std::move(tasks_.front());
  tasks_.pop_front();
  guard.unlock();
  task();
  return true;
}
