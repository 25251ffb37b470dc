#include "app/ui/UpdatingPageViewController.h"

#include "app/ui/ImageResource.h"
#include "app/update/FWUpdaterController.h"

#include "ui_UpdatingPageViewController.h"

#include <QTimer>

#include <chrono>

UpdatingPageViewController::UpdatingPageViewController(FWUpdaterController& controller,
                                                       QWidget* parent)
    : WizardPageViewController(controller, parent),
      ui_(std::make_unique<Ui::UpdatingPageViewController>()),
      busyTimer_(new QTimer(this)) {
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
  // The controller says when the follow-up step ends only through its flag.
  busyTimer_->setInterval(std::chrono::milliseconds(100));
  connect(busyTimer_, &QTimer::timeout, this, &UpdatingPageViewController::refreshState);
  busyTimer_->start();
  refreshState();
}

UpdatingPageViewController::~UpdatingPageViewController() = default;

void UpdatingPageViewController::refreshState() {
  const bool busy = controller().isExecutingUpdate;
  ui_->busyLabel->setVisible(busy);
  ui_->busyIndicator->setVisible(busy);
  if (!busy) {
    busyTimer_->stop();
  }
  changeConfirmState();
}

void UpdatingPageViewController::changeConfirmState() {
  // While the recorder is still being finished and verified, "completed" would be untrue.
  ui_->nextButton->setEnabled(ui_->confirmCheckBox->isChecked() && !controller().isExecutingUpdate);
}

void UpdatingPageViewController::goToNext() {
  if (ui_->nextButton->isEnabled()) {
    controller().goToNext();
  }
}
