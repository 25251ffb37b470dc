#include "app/ui/UpdaterNonePageViewController.h"

#include "app/ui/ImageResource.h"
#include "app/ui/ResultTable.h"
#include "app/update/FWUpdaterController.h"

#include "ui_UpdaterNonePageViewController.h"

UpdaterNonePageViewController::UpdaterNonePageViewController(FWUpdaterController& controller,
                                                             std::optional<AudioDevice> device,
                                                             QWidget* parent)
    : WizardPageViewController(controller, parent),
      ui_(std::make_unique<Ui::UpdaterNonePageViewController>()),
      device_(std::move(device)) {
  ui_->setupUi(this);
  ResultTable::setUpColumns(ui_->tableView);
  viewDidLoad(ui_->titleLabel, ui_->appVersionLabel);
  ImageResource::show(ui_->iconImageView, QStringLiteral("illust_completed"));
  ResultTable(ResultTable::Kind::updaterNone, device_, std::nullopt).fill(ui_->tableView);
  connect(ui_->continueButton, &QPushButton::clicked, this,
          [this] { this->controller().updateNextDevice(); });
  connect(ui_->closeButton, &QPushButton::clicked, this,
          [this] { this->controller().terminateApp(); });
}

UpdaterNonePageViewController::~UpdaterNonePageViewController() = default;
