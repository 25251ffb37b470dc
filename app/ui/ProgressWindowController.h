#pragma once

#include "app/update/UpdaterUserInterface.h"

#include <QDialog>

#include <memory>

namespace Ui {
class ProgressWindowController;
}

// The small modal window of the check and the transfer. Its phase ends it; the user cannot
// close it, since the work behind it goes on regardless.
class ProgressWindowController final : public QDialog, public ProgressView {
  Q_OBJECT

 public:
  // `taller` is the transfer's variant, 20 points taller than its layout.
  explicit ProgressWindowController(bool taller, QWidget* parent = nullptr);
  ~ProgressWindowController() override;

  Ui::ProgressWindowController& outlets() const { return *ui_; }

  void setMessage(const QString& message) override;
  void setIndeterminate(bool indeterminate) override;
  void setValue(double percent) override;
  bool isShown() const override;
  void close() override;

 protected:
  void closeEvent(QCloseEvent* event) override;
  void reject() override {}

 private:
  std::unique_ptr<Ui::ProgressWindowController> ui_;
  bool closing_ = false;
};
