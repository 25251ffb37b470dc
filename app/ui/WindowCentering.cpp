#include "app/ui/WindowCentering.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

namespace WindowCentering {

void centerOnScreen(QWidget* window) {
  window->adjustSize();
  const QScreen* screen = window->screen();
  if (screen == nullptr) {
    screen = QGuiApplication::primaryScreen();
  }
  if (screen != nullptr) {
    window->move(screen->availableGeometry().center() - window->rect().center());
  }
}

}  // namespace WindowCentering
