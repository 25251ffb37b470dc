#include "app/update/DownloadFWInteractor.h"

#include "app/service/ServiceLimits.h"
#include "app/update/NetworkErrorAlert.h"
#include "app/update/UserInterface.h"
#include "platform/BoundedRead.h"

#include <QTimer>
#include <QUrl>

#include <algorithm>

DownloadFWInteractor::ProgressTick DownloadFWInteractor::progressTick(
    const ProgressState& state, int64_t total, int64_t received, std::optional<double> elapsed) {
  ProgressTick result{state};
  if (total >= 1) {
    const auto percent = static_cast<int>(
        std::min(static_cast<double>(received) / static_cast<double>(total) * 100.0, 100.0));
    if (percent > result.state.progressValue) {
      result.state.progressValue = percent;
      result.percentChanged = true;
    }
  }
  if (!elapsed) {
    return result;
  }
  result.state.pastTimeInterval = *elapsed;
  result.pastTimeChanged = true;
  if (result.state.progressValue == 100) {
    result.state.remainTimeInterval = 0;
    result.remainTimeChanged = true;
  } else if (received >= 1 && *elapsed > 1.0) {
    const double rate = static_cast<double>(received) / *elapsed;
    if (rate > 0) {
      result.state.remainTimeInterval = static_cast<double>(total - received) / rate;
      result.remainTimeChanged = true;
    }
  }
  return result;
}

DownloadFWInteractor::DownloadFWInteractor(UpdaterInfo updaterInfo,
                                           std::shared_ptr<DownloadManager> downloadManager,
                                           AudioDevicePtr device, UserInterface& userInterface,
                                           bool localMode)
    : updaterInfo_(std::move(updaterInfo)),
      downloadManager_(std::move(downloadManager)),
      device_(std::move(device)),
      userInterface_(userInterface),
      localMode_(localMode) {}

DownloadFWInteractor::~DownloadFWInteractor() {
  stopTimer();
  closeWindow();
}

bool DownloadFWInteractor::start(Completion completion) {
  if (!updaterInfo_.firmwareInfo) {
    return false;
  }
  completion_ = std::move(completion);
  if (localMode_) {
    liveness_.ref().postToMain([](DownloadFWInteractor& self) { self.startLocal(); });
    return true;
  }
  progress_ = ProgressState{};
  downloadStarted_ = false;
  cancelRequested_ = false;
  // The window is this interactor's: it cannot call after the interactor is gone.
  progressDialog_ = userInterface_.showDownloadProgress([this] {
    cancelRequested_ = true;
    downloadManager_->cancelDownload();
  });
  refreshTimer_ = new QTimer(this);
  refreshTimer_->setInterval(100);
  connect(refreshTimer_, &QTimer::timeout, this, &DownloadFWInteractor::tick);
  refreshTimer_->start();
  checkConnection();
  return true;
}

void DownloadFWInteractor::startLocal() {
  const QUrl url(updaterInfo_.firmwareInfo->fileURL);
  std::optional<QByteArray> data;
  if (url.isLocalFile()) {
    data = readFileAtMost(url.toLocalFile(), ServiceLimits::kMaxPackageSize);
  }
  if (!data) {
    NetworkErrorAlert(userInterface_).showServerError(QStringLiteral("The firmware is not found."));
  }
  std::exchange(completion_, nullptr)(std::move(data));
}

void DownloadFWInteractor::checkConnection() {
  downloadManager_->checkConnection([self = liveness_.ref()](bool connected) {
    self.postToMain(
        [connected](DownloadFWInteractor& interactor) { interactor.handleConnection(connected); });
  });
}

void DownloadFWInteractor::handleConnection(bool connected) {
  if (cancelRequested_) {
    stopTimer();
    finish(std::nullopt, NetworkError::userCancelled());
    return;
  }
  if (!connected) {
    bool retry = false;
    NetworkErrorAlert(userInterface_).showInternetError(retry);
    if (retry) {
      checkConnection();
      return;
    }
    stopTimer();
    closeWindow();
    std::exchange(completion_, nullptr)(std::nullopt);
    return;
  }
  downloadStarted_ = true;
  downloadManager_->downloadFirmware(
      *updaterInfo_.firmwareInfo,
      [self = liveness_.ref()](std::optional<QByteArray> data,
                               const std::optional<NetworkError>& error) {
        self.postToMain([data = std::move(data), error](DownloadFWInteractor& interactor) mutable {
          interactor.downloadFinished(std::move(data), error);
        });
      });
}

void DownloadFWInteractor::downloadFinished(std::optional<QByteArray> data,
                                            const std::optional<NetworkError>& error) {
  progress_.progressValue = 100;
  if (progressDialog_) {
    progressDialog_->setProgressValue(100);
    progressDialog_->setCancelEnabled(false);
  }
  stopTimer();
  QTimer::singleShot(finishingPause_, this, [this, data = std::move(data), error]() mutable {
    finish(std::move(data), error);
  });
}

void DownloadFWInteractor::finish(std::optional<QByteArray> data,
                                  const std::optional<NetworkError>& error) {
  closeWindow();
  if (!error && data) {
    if (std::optional<QByteArray> local = downloadManager_->localUpdateFirmware(*device_)) {
      data = std::move(local);
    }
    std::exchange(completion_, nullptr)(std::move(data));
    return;
  }
  if (error) {
    bool retry = false;
    NetworkErrorAlert(userInterface_).report(*error, retry);
    if (retry) {
      start(std::exchange(completion_, nullptr));
      return;
    }
  } else {
    NetworkErrorAlert(userInterface_).showServerError(QStringLiteral("Empty Data"));
  }
  std::exchange(completion_, nullptr)(std::nullopt);
}

void DownloadFWInteractor::tick() {
  // Until this download has begun the manager's sizes are those of an earlier one.
  if (!downloadStarted_) {
    return;
  }
  const int64_t total = downloadManager_->firmwareSizeAct();
  const int64_t received = downloadManager_->downloadedSizeAct();
  std::optional<double> elapsed;
  if (const std::optional<QDateTime> started = downloadManager_->startDate()) {
    elapsed = static_cast<double>(started->msecsTo(clock_())) / 1000.0;
  }
  const ProgressTick next = progressTick(progress_, total, received, elapsed);
  progress_ = next.state;
  if (!progressDialog_) {
    return;
  }
  if (next.percentChanged) {
    progressDialog_->setProgressValue(progress_.progressValue);
  }
  if (next.pastTimeChanged) {
    progressDialog_->setPastTimeInterval(progress_.pastTimeInterval);
  }
  if (next.remainTimeChanged) {
    progressDialog_->setRemainTimeInterval(progress_.remainTimeInterval);
  }
}

void DownloadFWInteractor::stopTimer() {
  delete refreshTimer_;
  refreshTimer_ = nullptr;
}

void DownloadFWInteractor::closeWindow() {
  if (progressDialog_) {
    progressDialog_->close();
    progressDialog_.reset();
  }
}
