#pragma once

#include <QString>

#include <functional>
#include <memory>
#include <optional>

// One modal alert: a message, the default button's title, an optional cancel button and an
// optional icon in place of the application's.
struct AlertRequest {
  QString message;
  QString defaultButtonTitle;
  std::optional<QString> cancelButtonTitle;  // none hides the cancel button
  std::optional<QString> iconName;
  // A yes-or-no question that habit must not answer (updating, quitting): the terminal takes
  // it by y and n, not by the numbers that moved the earlier pages on.
  bool deliberate = false;
};

// The download progress window as the download use case drives it. The front end formats
// the values (DownloadProgressText) and shows them.
class DownloadProgressView {
 public:
  virtual ~DownloadProgressView() = default;

  virtual void setProgressValue(int percent) = 0;
  virtual void setPastTimeInterval(double seconds) = 0;
  // Negative for unknown.
  virtual void setRemainTimeInterval(double seconds) = 0;
  virtual void setCancelEnabled(bool enabled) = 0;
  virtual void close() = 0;

 protected:
  DownloadProgressView() = default;
  DownloadProgressView(const DownloadProgressView&) = default;
  DownloadProgressView& operator=(const DownloadProgressView&) = default;
};

// What the controller and the use cases need of the user interface, without a widget
// header: the Qt front end, the terminal front end and the tests' scripted one implement it.
class UserInterface {
 public:
  virtual ~UserInterface() = default;

  // Runs the alert modally: 1 when the default button ended it, 0 for cancel; none when the
  // window could not be loaded (nothing was shown).
  virtual std::optional<int> runAlert(const AlertRequest& alert) = 0;

  // Opens the download progress window, initialised to 0 %, 0 seconds elapsed and an unknown
  // remaining time; its cancel button calls `cancel`. None when it cannot be loaded.
  virtual std::unique_ptr<DownloadProgressView> showDownloadProgress(
      std::function<void()> cancel) = 0;

 protected:
  UserInterface() = default;
  UserInterface(const UserInterface&) = default;
  UserInterface& operator=(const UserInterface&) = default;
};
