#pragma once

#include <QObject>

class QWidget;

// Ends a start-up measurement: on the first paint of the watched widget, prints the wall
// clock (CLOCK_REALTIME, nanoseconds) as "shown_ns=..." and asks the event loop to quit.
// The launching script subtracts the time at which it started the process.
class FirstPaint final : public QObject {
 public:
  explicit FirstPaint(QWidget& widget);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  bool painted_ = false;
};
