#pragma once

class QWidget;

namespace WindowCentering {

// Sizes the window to its layout and moves it to the middle of its screen.
void centerOnScreen(QWidget* window);

}  // namespace WindowCentering
