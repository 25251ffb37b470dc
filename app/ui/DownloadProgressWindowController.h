#pragma once

#include "app/update/DownloadProgressText.h"
#include "app/update/UserInterface.h"

#include <QDialog>

#include <functional>
#include <memory>

namespace Ui {
class DownloadProgressWindowController;
}

// The download's window: percent, elapsed and remaining time, and cancel. The download use
// case feeds the values; closing the window cancels like the button.
class DownloadProgressWindowController final : public QDialog, public DownloadProgressView {
  Q_OBJECT

 public:
  explicit DownloadProgressWindowController(std::function<void()> cancel,
                                            QWidget* parent = nullptr);
  ~DownloadProgressWindowController() override;

  Ui::DownloadProgressWindowController& outlets() const { return *ui_; }

  void setProgressValue(int percent) override;
  void setPastTimeInterval(double seconds) override;
  void setRemainTimeInterval(double seconds) override;
  void setCancelEnabled(bool enabled) override;
  void close() override;

  int progressValue() const { return progressValue_; }

 protected:
  void closeEvent(QCloseEvent* event) override;
  void reject() override;

 private:
  void cancel();

  std::unique_ptr<Ui::DownloadProgressWindowController> ui_;
  std::function<void()> cancel_;
  DownloadProgressText text_;
  int progressValue_ = 0;
  double pastTimeInterval_ = 0;
  double remainTimeInterval_ = 0;
  bool closing_ = false;
};
