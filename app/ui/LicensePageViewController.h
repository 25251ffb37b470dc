#pragma once

#include "app/ui/WizardPageViewController.h"

#include <memory>

namespace Ui {
class LicensePageViewController;
}

// The licence agreement: agree starts the download, disagree returns to the offer.
class LicensePageViewController final : public WizardPageViewController {
  Q_OBJECT

 public:
  LicensePageViewController(FWUpdaterController& controller, QWidget* parent);
  ~LicensePageViewController() override;

  Ui::LicensePageViewController& outlets() const { return *ui_; }

 private:
  std::unique_ptr<Ui::LicensePageViewController> ui_;
};
