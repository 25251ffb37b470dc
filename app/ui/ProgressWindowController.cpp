#include "app/ui/ProgressWindowController.h"

#include "app/ui/CMViewLocalizer.h"
#include "app/ui/WindowCentering.h"

#include "ui_ProgressWindowController.h"

#include <QCloseEvent>
#include <QLayout>

#include <algorithm>
#include <cmath>

ProgressWindowController::ProgressWindowController(bool taller, QWidget* parent)
    : QDialog(parent), ui_(std::make_unique<Ui::ProgressWindowController>()) {
  ui_->setupUi(this);
  setWindowModality(Qt::ApplicationModal);
  setWindowFlag(Qt::WindowCloseButtonHint, false);
  CMViewLocalizer::localizeObjectsRelativeTo(this);
  // The transfer's messages take two lines: its window has room for them from the start.
  if (taller) {
    ui_->messageField->setMinimumHeight(ui_->messageField->sizeHint().height() + 20);
  }
  // The window follows its message, which its users set after it has opened.
  layout()->setSizeConstraint(QLayout::SetFixedSize);
  WindowCentering::centerOnScreen(this);
}

ProgressWindowController::~ProgressWindowController() = default;

void ProgressWindowController::setMessage(const QString& message) {
  ui_->messageField->setText(message);
  ui_->messageField->setAccessibleName(message);
}

void ProgressWindowController::setIndeterminate(bool indeterminate) {
  ui_->progressIndicator->setRange(0, indeterminate ? 0 : 100);
}

void ProgressWindowController::setValue(double percent) {
  const double bounded = std::isfinite(percent) ? std::clamp(percent, 0.0, 100.0) : 0.0;
  ui_->progressIndicator->setValue(static_cast<int>(std::lround(bounded)));
}

bool ProgressWindowController::isShown() const { return !closing_ && isVisible(); }

void ProgressWindowController::close() {
  closing_ = true;
  QDialog::close();
}

void ProgressWindowController::closeEvent(QCloseEvent* event) {
  // QDialog would reject on closing, which the user cannot do here.
  if (closing_) {
    event->accept();
  } else {
    event->ignore();
  }
}
