#pragma once

#include "app/device/AudioDevice.h"
#include "app/ui/WizardPageViewController.h"

#include <memory>
#include <optional>

namespace Ui {
class UpdaterNonePageViewController;
}

// Nothing newer: the recorder's version; continue starts over with another recorder.
class UpdaterNonePageViewController final : public WizardPageViewController {
  Q_OBJECT

 public:
  UpdaterNonePageViewController(FWUpdaterController& controller, std::optional<AudioDevice> device,
                                QWidget* parent);
  ~UpdaterNonePageViewController() override;

  Ui::UpdaterNonePageViewController& outlets() const { return *ui_; }

 private:
  std::unique_ptr<Ui::UpdaterNonePageViewController> ui_;
  std::optional<AudioDevice> device_;
};
