#pragma once

#include "app/core/FirmwareInfo.h"
#include "app/device/AudioDevice.h"
#include "app/update/UserInterface.h"

#include <QString>

#include <memory>
#include <optional>

// The wizard's pages, in the order a run meets them.
enum class WizardPage { opening, updaterAvailable, updaterNone, license, updating, completed };

// One page to show and the data it shows: the recorder on both result pages, the offered
// firmware on the UpdaterAvailable page.
struct WizardPageRequest {
  WizardPage page = WizardPage::opening;
  std::optional<AudioDevice> device;
  std::optional<FirmwareInfo> firmwareInfo;
};

// The small waiting window of the check and the transfer: a message and a bar that is
// either indeterminate (animated) or at a value from 0 to 100.
class ProgressView {
 public:
  virtual ~ProgressView() = default;

  virtual void setMessage(const QString& message) = 0;
  virtual void setIndeterminate(bool indeterminate) = 0;
  virtual void setValue(double percent) = 0;
  // False once the user or the system closed it.
  virtual bool isShown() const = 0;
  virtual void close() = 0;

 protected:
  ProgressView() = default;
  ProgressView(const ProgressView&) = default;
  ProgressView& operator=(const ProgressView&) = default;
};

// Everything the update run shows, beside the alerts and the download window: the main
// window with its pages, the progress window and the end of the application.
class UpdaterUserInterface : public UserInterface {
 public:
  // Shows the page in the main window, replacing the one shown; nothing without a window.
  virtual void showPage(const WizardPageRequest& request) = 0;
  virtual void hideMainWindow() = 0;
  // Makes the main window key and brings it to the front.
  virtual void showMainWindow() = 0;
  // Opens the progress window with an empty message and a value of 0; `taller` makes it 20
  // points taller than its layout (the transfer's). None when it cannot be loaded.
  virtual std::unique_ptr<ProgressView> showProgress(bool taller) = 0;
  // Asks the application to end once the current event has been handled.
  virtual void terminate() = 0;
  // The controller's isExecutingUpdate changed: the recorder started or stopped being busy
  // with the update (the write and its follow-up step).
  virtual void executingUpdateChanged() {}
};
