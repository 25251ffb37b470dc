#pragma once

#include "app/update/UpdaterUserInterface.h"

#include <QMainWindow>

#include <memory>

class FWUpdaterController;
class WizardPageViewController;

namespace Ui {
class MainWindowController;
}

// The main window: one wizard page at a time in a window of fixed size and place, and the
// Qt side of the controller's port (alerts, progress and download windows). Closing it
// ends the application once the controller agrees.
class MainWindowController final : public QMainWindow, public UpdaterUserInterface {
  Q_OBJECT

 public:
  explicit MainWindowController(FWUpdaterController& controller, QWidget* parent = nullptr);
  ~MainWindowController() override;

  Ui::MainWindowController& outlets() const { return *ui_; }
  WizardPageViewController* currentPage() const { return currentPage_; }
  const WizardPageRequest& currentRequest() const { return currentRequest_; }

  std::optional<int> runAlert(const AlertRequest& alert) override;
  std::unique_ptr<DownloadProgressView> showDownloadProgress(std::function<void()> cancel) override;
  void showPage(const WizardPageRequest& request) override;
  void hideMainWindow() override;
  void showMainWindow() override;
  std::unique_ptr<ProgressView> showProgress(bool taller) override;
  void terminate() override;
  void executingUpdateChanged() override;

  // The page made for a request, parented to nothing yet.
  static WizardPageViewController* makePage(FWUpdaterController& controller,
                                            const WizardPageRequest& request);

 Q_SIGNALS:
  // The application should end now: the main window closed, or a page's close button.
  void terminationRequested();

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  FWUpdaterController& controller_;
  std::unique_ptr<Ui::MainWindowController> ui_;
  WizardPageViewController* currentPage_ = nullptr;
  WizardPageRequest currentRequest_;
};
