#include "app/ui/CompletedPageViewController.h"

#include "app/ui/ImageResource.h"
#include "app/update/FWUpdaterController.h"

#include "ui_CompletedPageViewController.h"

CompletedPageViewController::CompletedPageViewController(FWUpdaterController& controller,
                                                         QWidget* parent)
    : WizardPageViewController(controller, parent),
      ui_(std::make_unique<Ui::CompletedPageViewController>()) {
  ui_->setupUi(this);
  viewDidLoad(ui_->titleLabel, ui_->appVersionLabel);
  ImageResource::show(ui_->illustImageView, QStringLiteral("illust_completed"));
  connect(ui_->closeButton, &QPushButton::clicked, this,
          [this] { this->controller().terminateApp(); });
}

CompletedPageViewController::~CompletedPageViewController() = default;
