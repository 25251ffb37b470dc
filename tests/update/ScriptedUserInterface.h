#pragma once

#include "app/update/UpdaterUserInterface.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <deque>
#include <vector>

// The front end of the tests: answers alerts from a queue (none left: the default button)
// and records everything shown, each window in a deque so that references stay valid.
class ScriptedUserInterface final : public UpdaterUserInterface {
 public:
  struct DownloadRecord {
    QList<int> progressValues;
    QList<double> pastTimeIntervals;
    QList<double> remainTimeIntervals;
    bool cancelEnabled = true;
    bool closed = false;
    std::function<void()> cancel;
  };
  // A progress window's calls in order: "message TEXT", "indeterminate 0|1", "value N".
  struct ProgressRecord {
    bool taller = false;
    QStringList calls;
    bool closed = false;
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
    downloads.push_back(DownloadRecord{});
    downloads.back().cancel = std::move(cancel);
    return std::make_unique<DownloadView>(downloads.back());
  }
  void showPage(const WizardPageRequest& request) override {
    pages.push_back(request.page);
    lastRequest = request;
  }
  void hideMainWindow() override { mainWindowShown = false; }
  void showMainWindow() override { mainWindowShown = true; }
  std::unique_ptr<ProgressView> showProgress(bool taller) override {
    progress.push_back(ProgressRecord{taller, {}, false});
    return std::make_unique<Progress>(progress.back());
  }
  void terminate() override { ++terminations; }

  QStringList alertMessages() const {
    QStringList messages;
    for (const AlertRequest& alert : alerts) {
      messages << alert.message;
    }
    return messages;
  }

  std::deque<std::optional<int>> answers;
  QList<AlertRequest> alerts;
  std::deque<DownloadRecord> downloads;
  std::deque<ProgressRecord> progress;
  std::vector<WizardPage> pages;
  WizardPageRequest lastRequest;
  bool mainWindowShown = true;
  int terminations = 0;

 private:
  class DownloadView final : public DownloadProgressView {
   public:
    explicit DownloadView(DownloadRecord& record) : record_(record) {}
    void setProgressValue(int percent) override { record_.progressValues.append(percent); }
    void setPastTimeInterval(double seconds) override { record_.pastTimeIntervals.append(seconds); }
    void setRemainTimeInterval(double seconds) override {
      record_.remainTimeIntervals.append(seconds);
    }
    void setCancelEnabled(bool enabled) override { record_.cancelEnabled = enabled; }
    void close() override { record_.closed = true; }

   private:
    DownloadRecord& record_;
  };
  class Progress final : public ProgressView {
   public:
    explicit Progress(ProgressRecord& record) : record_(record) {}
    void setMessage(const QString& message) override {
      record_.calls << QStringLiteral("message ") + message;
    }
    void setIndeterminate(bool indeterminate) override {
      record_.calls << QStringLiteral("indeterminate %1").arg(int{indeterminate});
    }
    void setValue(double percent) override {
      record_.calls << QStringLiteral("value %1").arg(percent);
    }
    bool isShown() const override { return !record_.closed; }
    void close() override { record_.closed = true; }

   private:
    ProgressRecord& record_;
  };
};
