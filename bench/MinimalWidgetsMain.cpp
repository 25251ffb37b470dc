// The references for the wizard's start-up: the least a Qt Widgets program does before a
// window is on screen (one QApplication, one empty QWidget shown), or with the argument
// "text" before a window showing one line of text (the font database, a font and shaping,
// which every page of the wizard needs). It runs until stopped; bench/run-all stops it once
// Qt has logged the window's first flush, as it does tarnwell.
#include <QApplication>
#include <QLabel>
#include <QWidget>

#include <cstring>
#include <memory>

int main(int argc, char* argv[]) {
  const bool text = argc > 1 && std::strcmp(argv[1], "text") == 0;
  const QApplication app(argc, argv);
  const std::unique_ptr<QWidget> window =
      text ? std::make_unique<QLabel>(QStringLiteral("Firmware update"))
           : std::make_unique<QWidget>();
  window->resize(640, 480);
  window->show();
  return QApplication::exec();
}
