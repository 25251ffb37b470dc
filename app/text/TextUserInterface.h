#pragma once

#include "app/update/UpdaterUserInterface.h"

#include <optional>

class TextConsole;

// The wizard's port in the terminal. Pages are printed as they are shown and wait for the
// wizard to ask for their buttons; alerts and their answers, the progress window and the
// download window are printed on the spot. With `answerYes` nobody is asked: confirmations
// get Yes/OK, Retry/Cancel questions get Cancel.
class TextUserInterface final : public UpdaterUserInterface {
 public:
  TextUserInterface(TextConsole& console, bool answerYes);

  std::optional<int> runAlert(const AlertRequest& alert) override;
  std::unique_ptr<DownloadProgressView> showDownloadProgress(std::function<void()> cancel) override;
  void showPage(const WizardPageRequest& request) override;
  void hideMainWindow() override { mainWindowShown_ = false; }
  void showMainWindow() override { mainWindowShown_ = true; }
  std::unique_ptr<ProgressView> showProgress(bool taller) override;
  void terminate() override { terminated_ = true; }

  // Local mode: the Opening page says where the firmware comes from.
  void setLocalMode(bool localMode) { localMode_ = localMode; }

  // The page now in the main window, none before the first; `pageSerial` counts showings,
  // so a page shown again (a fresh page in the window) is told from one left in place.
  const std::optional<WizardPageRequest>& currentPage() const { return currentPage_; }
  int pageSerial() const { return pageSerial_; }
  bool isMainWindowShown() const { return mainWindowShown_; }
  bool isTerminated() const { return terminated_; }
  // An alert reported a failure (OK-only alerts and Retry/Cancel questions).
  bool hasShownErrorAlert() const { return errorAlertShown_; }

  // True for an alert that reports a failure rather than asking to confirm a step.
  static bool isErrorAlert(const AlertRequest& alert);

 private:
  TextConsole& console_;
  bool answerYes_;
  std::optional<WizardPageRequest> currentPage_;
  int pageSerial_ = 0;
  bool localMode_ = false;
  bool mainWindowShown_ = false;
  bool terminated_ = false;
  bool errorAlertShown_ = false;
};
