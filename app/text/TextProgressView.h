#pragma once

#include "app/update/UpdaterUserInterface.h"

#include <chrono>

class TextConsole;

// The progress window as one line: the message, then a bar with the time taken so far that
// is rewritten in place on a terminal; elsewhere a line for each whole percent, so a captured
// run stays readable.
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
  // "0:05", "12:40", "1:02:03".
  static QString elapsed(int seconds);

 private:
  TextConsole& console_;
  std::chrono::steady_clock::time_point shownSince_ = std::chrono::steady_clock::now();
  QString message_;
  int shownPercent_ = -1;
  bool indeterminate_ = false;
  bool shown_ = true;
};
