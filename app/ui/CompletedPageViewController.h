#pragma once

#include "app/ui/WizardPageViewController.h"

#include <memory>

namespace Ui {
class CompletedPageViewController;
}

// The end of a run: close quits the application.
class CompletedPageViewController final : public WizardPageViewController {
  Q_OBJECT

 public:
  CompletedPageViewController(FWUpdaterController& controller, QWidget* parent);
  ~CompletedPageViewController() override;

  Ui::CompletedPageViewController& outlets() const { return *ui_; }

 private:
  std::unique_ptr<Ui::CompletedPageViewController> ui_;
};
