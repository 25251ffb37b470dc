#pragma once

#include "app/ui/WizardPageViewController.h"

#include <memory>

namespace Ui {
class UpdatingPageViewController;
}

// The recorder applies the firmware while the application finishes the update on it (and
// reads the firmware back). The user confirms what the recorder's display shows; next is
// offered once the box is ticked and the recorder is no longer busy.
class UpdatingPageViewController final : public WizardPageViewController {
  Q_OBJECT

 public:
  UpdatingPageViewController(FWUpdaterController& controller, QWidget* parent);
  ~UpdatingPageViewController() override;

  Ui::UpdatingPageViewController& outlets() const { return *ui_; }

  // Re-reads whether the follow-up step still runs; the main window calls it when the
  // controller says it has changed.
  void refreshState();

 private:
  void changeConfirmState();
  void goToNext();

  std::unique_ptr<Ui::UpdatingPageViewController> ui_;
};
