#pragma once

#include <QWidget>

class FWUpdaterController;
class QLabel;

// One page of the main window. A page is made for each showing and never reused; its
// buttons call the controller, which decides what follows.
class WizardPageViewController : public QWidget {
  Q_OBJECT

 public:
  ~WizardPageViewController() override = default;

 protected:
  WizardPageViewController(FWUpdaterController& controller, QWidget* parent);

  // Runs once the derived page has built its layout: the version label, the page title's
  // look, then the message IDs of the whole page replaced by their texts.
  void viewDidLoad(QLabel* titleLabel, QLabel* appVersionLabel);

  FWUpdaterController& controller() const { return controller_; }

  // Return and Enter press the page's default button, as in a dialog.
  void keyPressEvent(QKeyEvent* event) override;

 private:
  FWUpdaterController& controller_;
  QLabel* appVersionLabel_ = nullptr;
};
