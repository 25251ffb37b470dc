#pragma once

#include "app/update/UpdaterUserInterface.h"

class TextConsole;

// The progress window as one line: the message, then a bar that is rewritten in place on a
// terminal; elsewhere a line for each whole percent, so a captured run stays readable.
class TextProgressView final : public ProgressView {
 public:
  explicit TextProgressView(TextConsole& console);
  ~TextProgressView() override;
  TextProgressView(const TextProgressView&) = delete;
  TextProgressView& operator=(const TextProgressView&) = delete;

  void setMessage(const QString& message) override;
  void setIndeterminate(bool indeterminate) override;
  void setValue(double percent) override;
  bool isShown() const override { return shown_; }
  void close() override;

  // "[##########..........]  50%".
  static QString bar(int percent);

 private:
  TextConsole& console_;
  QString message_;
  int shownPercent_ = -1;
  bool indeterminate_ = false;
  bool shown_ = true;
};
