#include "app/ui/UpdatingPageViewController.h"

#include "app/ui/ImageResource.h"
#include "app/update/FWUpdaterController.h"

#include "ui_UpdatingPageViewController.h"

#include <chrono>

UpdatingPageViewController::UpdatingPageViewController(FWUpdaterController& controller,
                                                       QWidget* parent)
    : WizardPageViewController(controller, parent),
      ui_(std::make_unique<Ui::UpdatingPageViewController>()) {
  ui_->setupUi(this);
  viewDidLoad(ui_->titleLabel, ui_->appVersionLabel);
  ImageResource::show(ui_->illustImageView, QStringLiteral("illust_updating"));
  ImageResource::show(ui_->confirmImageView, QStringLiteral("illust_confirm"));
  ui_->nextButton->setEnabled(false);
  // The box and the busy line are refreshed together, so Next never shows as ready while
  // the busy line still says the recorder is working.
  connect(ui_->confirmCheckBox, &QCheckBox::toggled, this,
          &UpdatingPageViewController::refreshState);
  connect(ui_->nextButton, &QPushButton::clicked, this, &UpdatingPageViewController::goToNext);
  refreshState();
}

UpdatingPageViewController::~UpdatingPageViewController() = default;

void UpdatingPageViewController::refreshState() {
  const bool busy = controller().isExecutingUpdate();
  ui_->busyLabel->setVisible(busy);
  ui_->busyIndicator->setVisible(busy);
  changeConfirmState();
}

void UpdatingPageViewController::changeConfirmState() {
  // While the recorder is still being finished and verified, "completed" would be untrue.
  ui_->nextButton->setEnabled(ui_->confirmCheckBox->isChecked() &&
                              !controller().isExecutingUpdate());
}

void UpdatingPageViewController::goToNext() {
  if (ui_->nextButton->isEnabled()) {
    controller().goToNext();
  }
}
