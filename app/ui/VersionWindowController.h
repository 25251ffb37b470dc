#pragma once

#include <QDialog>

#include <memory>

namespace Ui {
class VersionWindowController;
}

// The application's name, icon and version, shown from the application menu.
class VersionWindowController final : public QDialog {
  Q_OBJECT

 public:
  explicit VersionWindowController(QWidget* parent = nullptr);
  ~VersionWindowController() override;

  Ui::VersionWindowController& outlets() const { return *ui_; }

  // Runs the window modally and closes it.
  static void showVersionWindow(QWidget* parent);

 private:
  std::unique_ptr<Ui::VersionWindowController> ui_;
};
