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
    // After this paint has been delivered.
    QMetaObject::invokeMethod(QCoreApplication::instance(), &QCoreApplication::quit,
                              Qt::QueuedConnection);
  }
  return QObject::eventFilter(watched, event);
}
