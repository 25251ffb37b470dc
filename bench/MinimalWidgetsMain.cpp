// The reference for the wizard's start-up: the least a Qt Widgets program does before a
// window is on screen (one QApplication, one empty QWidget shown), measured the same way.
#include "bench/FirstPaint.h"

#include <QApplication>
#include <QWidget>

int main(int argc, char* argv[]) {
  const QApplication app(argc, argv);
  QWidget window;
  window.resize(640, 480);
  FirstPaint watch(window);
  window.show();
  return QApplication::exec();
}
