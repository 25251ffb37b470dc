// The reference for the wizard's start-up: the least a Qt Widgets program does before a
// window is on screen (one QApplication, one empty QWidget shown). It runs until stopped;
// bench/run-all stops it once Qt has logged the window's first flush, as it does tarnwell.
#include <QApplication>
#include <QWidget>

int main(int argc, char* argv[]) {
  const QApplication app(argc, argv);
  QWidget window;
  window.resize(640, 480);
  window.show();
  return QApplication::exec();
}
