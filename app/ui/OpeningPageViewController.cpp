#include "app/ui/OpeningPageViewController.h"

#include "app/ui/ImageResource.h"
#include "app/update/FWUpdaterController.h"

#include "ui_OpeningPageViewController.h"

#include <QPointer>

OpeningPageViewController::OpeningPageViewController(FWUpdaterController& controller,
                                                     QWidget* parent)
    : WizardPageViewController(controller, parent),
      ui_(std::make_unique<Ui::OpeningPageViewController>()) {
  ui_->setupUi(this);
  viewDidLoad(ui_->titleLabel, ui_->appVersionLabel);
  const bool localMode = controller.localUpdateInfo().has_value();
  ImageResource::show(ui_->imageView, localMode ? QStringLiteral("illust_localstart")
                                                : QStringLiteral("illust_opening"));
  ui_->localModeLabel->setVisible(localMode);
  connect(ui_->nextButton, &QPushButton::clicked, this, &OpeningPageViewController::next);
}

OpeningPageViewController::~OpeningPageViewController() = default;

void OpeningPageViewController::next() {
  // The check runs its own waits; a second press meanwhile would start a second check.
  ui_->nextButton->setEnabled(false);
  QPointer<OpeningPageViewController> self(this);
  controller().next();
  if (self != nullptr) {
    ui_->nextButton->setEnabled(true);
  }
}
