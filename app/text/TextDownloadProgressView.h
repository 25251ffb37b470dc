#pragma once

#include "app/update/DownloadProgressText.h"
#include "app/update/UserInterface.h"

class TextConsole;

// The download window as one line: percent, elapsed and remaining time, rewritten in place on
// a terminal; elsewhere a line for each whole percent the download moves on.
class TextDownloadProgressView final : public DownloadProgressView {
 public:
  explicit TextDownloadProgressView(TextConsole& console);
  ~TextDownloadProgressView() override;
  TextDownloadProgressView(const TextDownloadProgressView&) = delete;
  TextDownloadProgressView& operator=(const TextDownloadProgressView&) = delete;

  void setProgressValue(int percent) override;
  void setPastTimeInterval(double seconds) override;
  void setRemainTimeInterval(double seconds) override;
  void setCancelEnabled(bool /*enabled*/) override {}
  void close() override;

 private:
  void refresh(bool percentChanged);

  TextConsole& console_;
  DownloadProgressText text_;
  int progressValue_ = 0;
  double pastTimeInterval_ = 0;
  double remainTimeInterval_ = -1;
  QString shownLine_;
  bool closed_ = false;
};
