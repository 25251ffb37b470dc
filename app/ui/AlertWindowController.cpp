#include "app/ui/AlertWindowController.h"

#include "app/ui/CMViewLocalizer.h"
#include "app/ui/ImageResource.h"
#include "app/ui/WindowCentering.h"

#include "ui_AlertWindowController.h"

namespace {

AlertWindowController::ModalAnswerHook& modalAnswerHook() {
  static AlertWindowController::ModalAnswerHook hook;
  return hook;
}

}  // namespace

AlertWindowController::AlertWindowController(QWidget* parent)
    : QDialog(parent), ui_(std::make_unique<Ui::AlertWindowController>()) {
  ui_->setupUi(this);
  setWindowModality(Qt::ApplicationModal);
  CMViewLocalizer::localizeObjectsRelativeTo(this);
  ImageResource::show(ui_->iconImageView, QStringLiteral("AppIcon"));
  connect(ui_->okButton, &QPushButton::clicked, this, [this] { done(1); });
  connect(ui_->cancelButton, &QPushButton::clicked, this, [this] { done(0); });
}

AlertWindowController::~AlertWindowController() = default;

void AlertWindowController::fill(const AlertRequest& alert) {
  ui_->messageLabel->setText(alert.message);
  ui_->messageLabel->setAccessibleName(alert.message);
  ui_->okButton->setText(alert.defaultButtonTitle);
  ui_->cancelButton->setVisible(alert.cancelButtonTitle.has_value());
  ui_->cancelButton->setText(alert.cancelButtonTitle.value_or(QString()));
  if (alert.iconName) {
    ImageResource::show(ui_->iconImageView, *alert.iconName);
  }
  ui_->okButton->setDefault(true);
  ui_->okButton->setFocus();
  WindowCentering::centerOnScreen(this);
}

std::optional<int> AlertWindowController::run(const AlertRequest& alert, QWidget* parent) {
  AlertWindowController window(parent);
  window.fill(alert);
  const int code = modalAnswerHook() ? modalAnswerHook()(window) : window.exec();
  window.close();
  return code == 1 ? 1 : 0;
}

void AlertWindowController::setModalAnswerHook(ModalAnswerHook hook) {
  modalAnswerHook() = std::move(hook);
}
