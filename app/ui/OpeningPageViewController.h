#pragma once

#include "app/ui/WizardPageViewController.h"

#include <memory>

namespace Ui {
class OpeningPageViewController;
}

// The first page: what the wizard does; next starts the update check.
class OpeningPageViewController final : public WizardPageViewController {
  Q_OBJECT

 public:
  OpeningPageViewController(FWUpdaterController& controller, QWidget* parent);
  ~OpeningPageViewController() override;

  Ui::OpeningPageViewController& outlets() const { return *ui_; }

 private:
  void next();

  std::unique_ptr<Ui::OpeningPageViewController> ui_;
};
