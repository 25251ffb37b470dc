#include "driver/ScsiExchangeLog.h"

#include <mutex>
#include <utility>

namespace {

std::mutex& observerMutex() {
  static std::mutex mutex;
  return mutex;
}

ScsiExchangeLog::Observer& currentObserver() {
  static ScsiExchangeLog::Observer observer;
  return observer;
}

}  // namespace

ScsiExchangeLog::Observer ScsiExchangeLog::setObserver(Observer observer) {
  const std::scoped_lock lock(observerMutex());
  return std::exchange(currentObserver(), std::move(observer));
}

void ScsiExchangeLog::report(const ScsiTask& task) {
  // Called outside the lock so an observer may itself replace the observer.
  Observer observer;
  {
    const std::scoped_lock lock(observerMutex());
    observer = currentObserver();
  }
  if (observer) {
    observer(task);
  }
}
