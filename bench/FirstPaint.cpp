#include "bench/FirstPaint.h"

#include <QCoreApplication>
#include <QEvent>
#include <QWidget>

#include <cstdio>
#include <ctime>

FirstPaint::FirstPaint(QWidget& widget) { widget.installEventFilter(this); }

bool FirstPaint::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::Paint && !painted_) {
    painted_ = true;
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    std::printf("shown_ns=%lld\n", static_cast<long long>(now.tv_sec) * 1000000000LL + now.tv_nsec);
    std::fflush(stdout);
    // The event loop returns once this paint has been delivered.
    QCoreApplication::exit(0);
  }
  return QObject::eventFilter(watched, event);
}
