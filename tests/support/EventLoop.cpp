#include "tests/support/EventLoop.h"

#include <QThread>

QCoreApplication& testApplication() {
  static int argc = 1;
  static char name[] = "tarnwell_test";
  static char* argv[] = {name, nullptr};
  static QCoreApplication application(argc, argv);
  return application;
}

bool processEventsUntil(const std::function<bool()>& done, std::chrono::seconds bound) {
  testApplication();
  const auto end = std::chrono::steady_clock::now() + bound;
  while (!done()) {
    if (std::chrono::steady_clock::now() > end) {
      return false;
    }
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    QThread::msleep(2);
  }
  return true;
}
