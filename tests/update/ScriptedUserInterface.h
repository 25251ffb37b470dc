#pragma once

#include "app/update/UserInterface.h"

#include <QList>
#include <QString>

#include <deque>

// The user interface of the tests: answers alerts from a queue (none left: the default
// button) and records everything shown.
class ScriptedUserInterface final : public UserInterface {
 public:
  struct ProgressRecord {
    QList<int> progressValues;
    QList<double> pastTimeIntervals;
    QList<double> remainTimeIntervals;
    bool cancelEnabled = true;
    bool closed = false;
    std::function<void()> cancel;
  };

  class View final : public DownloadProgressView {
   public:
    explicit View(ProgressRecord& record) : record_(record) {}
    void setProgressValue(int percent) override { record_.progressValues.append(percent); }
    void setPastTimeInterval(double seconds) override { record_.pastTimeIntervals.append(seconds); }
    void setRemainTimeInterval(double seconds) override {
      record_.remainTimeIntervals.append(seconds);
    }
    void setCancelEnabled(bool enabled) override { record_.cancelEnabled = enabled; }
    void close() override { record_.closed = true; }

   private:
    ProgressRecord& record_;
  };

  std::optional<int> runAlert(const AlertRequest& alert) override {
    alerts.append(alert);
    if (answers.empty()) {
      return 1;
    }
    const std::optional<int> answer = answers.front();
    answers.pop_front();
    return answer;
  }

  std::unique_ptr<DownloadProgressView> showDownloadProgress(
      std::function<void()> cancel) override {
    windows.push_back(ProgressRecord{});
    windows.back().cancel = std::move(cancel);
    if (!canShowWindow) {
      return nullptr;
    }
    return std::make_unique<View>(windows.back());
  }

  std::deque<std::optional<int>> answers;
  QList<AlertRequest> alerts;
  std::deque<ProgressRecord> windows;  // a deque keeps references stable
  bool canShowWindow = true;
};
