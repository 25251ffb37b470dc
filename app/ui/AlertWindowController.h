#pragma once

#include "app/update/UserInterface.h"

#include <QDialog>

#include <functional>
#include <memory>
#include <optional>

namespace Ui {
class AlertWindowController;
}

// The modal alert of every question and failure: a message, OK (or Yes, Retry) and an
// optional cancel button. OK ends it with 1; cancel, Escape and the window's close button
// with 0.
class AlertWindowController final : public QDialog {
  Q_OBJECT

 public:
  // Answers an alert in place of the user: gets the filled window, returns its code.
  using ModalAnswerHook = std::function<int(AlertWindowController&)>;

  explicit AlertWindowController(QWidget* parent = nullptr);
  ~AlertWindowController() override;

  Ui::AlertWindowController& outlets() const { return *ui_; }

  void fill(const AlertRequest& alert);
  // Fills a window, runs it modally for the whole application, and closes it.
  static std::optional<int> run(const AlertRequest& alert, QWidget* parent);

  // Tests answer alerts without a modal loop; none restores the user.
  static void setModalAnswerHook(ModalAnswerHook hook);

 private:
  std::unique_ptr<Ui::AlertWindowController> ui_;
};
