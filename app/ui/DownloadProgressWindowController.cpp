#include "app/ui/DownloadProgressWindowController.h"

#include "app/localize/CMLocalize.h"
#include "app/ui/CMViewLocalizer.h"
#include "app/ui/WindowCentering.h"

#include "ui_DownloadProgressWindowController.h"

#include <QCloseEvent>

#include <algorithm>

DownloadProgressWindowController::DownloadProgressWindowController(std::function<void()> cancel,
                                                                   QWidget* parent)
    : QDialog(parent),
      ui_(std::make_unique<Ui::DownloadProgressWindowController>()),
      cancel_(std::move(cancel)),
      text_(DownloadProgressText::fromStringTable()) {
  ui_->setupUi(this);
  setWindowModality(Qt::ApplicationModal);
  CMViewLocalizer::localizeObjectsRelativeTo(this);
  ui_->messageLabel->setText(
      CMLocalize::localizedString(QStringLiteral("ID_MSG_DOWNLOADING_FIRMWARE")));
  ui_->cancelButton->setText(CMLocalize::localizedString(QStringLiteral("ID_CANCEL")));
  connect(ui_->cancelButton, &QPushButton::clicked, this,
          &DownloadProgressWindowController::cancel);
  setProgressValue(0);
  setPastTimeInterval(0);
  setRemainTimeInterval(-1);
  // Wide enough for the longest remaining time, so the window does not grow while it runs.
  ui_->remainTimeLabel->setMinimumWidth(
      ui_->remainTimeLabel->fontMetrics().horizontalAdvance(text_.remainTimeText(59999.0)));
  WindowCentering::centerOnScreen(this);
}

DownloadProgressWindowController::~DownloadProgressWindowController() = default;

void DownloadProgressWindowController::setProgressValue(int percent) {
  progressValue_ = std::clamp(percent, 0, 100);
  ui_->progressIndicator->setValue(progressValue_);
  ui_->percentLabel->setText(DownloadProgressText::percentText(progressValue_));
}

void DownloadProgressWindowController::setPastTimeInterval(double seconds) {
  pastTimeInterval_ = seconds;
  ui_->pastTimeLabel->setText(text_.pastTimeText(pastTimeInterval_));
}

void DownloadProgressWindowController::setRemainTimeInterval(double seconds) {
  remainTimeInterval_ = seconds;
  ui_->remainTimeLabel->setText(text_.remainTimeText(remainTimeInterval_));
}

void DownloadProgressWindowController::setCancelEnabled(bool enabled) {
  ui_->cancelButton->setEnabled(enabled);
}

void DownloadProgressWindowController::close() {
  closing_ = true;
  QDialog::close();
}

void DownloadProgressWindowController::cancel() {
  if (!ui_->cancelButton->isEnabled()) {
    return;
  }
  // One cancellation is enough; the use case closes the window when the download has ended.
  ui_->cancelButton->setEnabled(false);
  if (cancel_) {
    cancel_();
  }
}

void DownloadProgressWindowController::closeEvent(QCloseEvent* event) {
  // QDialog would reject on closing, which stands for the user's cancel here.
  if (closing_) {
    event->accept();
    return;
  }
  event->ignore();
  cancel();
}

void DownloadProgressWindowController::reject() { cancel(); }
