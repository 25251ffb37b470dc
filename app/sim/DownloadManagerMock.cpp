#include "app/sim/DownloadManagerMock.h"

#include <QTimer>

#include <algorithm>
#include <utility>

DownloadManagerMock::DownloadManagerMock(std::chrono::milliseconds tickInterval)
    : tickInterval_(tickInterval) {}

DownloadManagerMock::~DownloadManagerMock() = default;

std::optional<QDateTime> DownloadManagerMock::startDate() const {
  const std::scoped_lock guard(startDateLock_);
  return startDate_;
}

QString DownloadManagerMock::requestModelCode(const AudioDevice& device) const {
  return QStringLiteral("%1").arg(device.modelID, 4, 10, QLatin1Char('0'));
}

QString DownloadManagerMock::requestFirmwareVersion(const AudioDevice& device) const {
  return device.version;
}

std::optional<QByteArray> DownloadManagerMock::localUpdateResponse(
    const AudioDevice& /*device*/) const {
  return std::nullopt;
}

std::optional<QByteArray> DownloadManagerMock::localUpdateFirmware(
    const AudioDevice& /*device*/) const {
  return std::nullopt;
}

void DownloadManagerMock::checkConnection(ConnectionCompletion completion) {
  const bool connected = isConnectedToInternet;
  networkQueue_.post([completion = std::move(completion), connected] { completion(connected); });
}

void DownloadManagerMock::requestUpdateInfo(const QByteArray& /*body*/, DataCompletion completion) {
  networkQueue_.post(
      [completion = std::move(completion)] { completion(std::nullopt, std::nullopt); });
}

void DownloadManagerMock::downloadFirmware(const FirmwareInfo& info, DataCompletion completion) {
  if (downloadTimer_) {
    return;
  }
  firmwareSize_ = info.fileSize;
  // Left at the size an earlier download reached, a retried download would end at its
  // first tick with the progress at 100 % from the start.
  downloadedSize_ = 0;
  completion_ = std::move(completion);
  {
    const std::scoped_lock guard(startDateLock_);
    startDate_ = QDateTime::currentDateTimeUtc();
  }
  downloadTimer_ = std::make_unique<QTimer>();
  downloadTimer_->setInterval(tickInterval_);
  QTimer* timer = downloadTimer_.get();
  QObject::connect(timer, &QTimer::timeout, timer, [this] { tick(); });
  downloadTimer_->start();
}

void DownloadManagerMock::cancelDownload() {
  dropTimer();
  if (DataCompletion completion = std::exchange(completion_, nullptr)) {
    completion(std::nullopt, NetworkError::userCancelled());
  }
}

void DownloadManagerMock::tick() {
  const int64_t next = downloadedSize_ + kBytesPerTick;
  downloadedSize_ = std::min<int64_t>(firmwareSize_, next);
  if (firmwareSize_ > next) {
    return;
  }
  dropTimer();
  // The completion goes with the download it belongs to: a later cancelDownload must not
  // call it a second time.
  DataCompletion completion = std::exchange(completion_, nullptr);
  if (completion) {
    completion(dammyData, endingError());
  }
}

std::optional<NetworkError> DownloadManagerMock::endingError() const {
  if (dammyError) {
    return NetworkError::generalError(*dammyError);
  }
  if (dammyHttpStatusCode < 200 || dammyHttpStatusCode > 299) {
    return NetworkError::httpError(dammyHttpStatusCode);
  }
  return std::nullopt;
}

void DownloadManagerMock::dropTimer() {
  if (downloadTimer_) {
    downloadTimer_->stop();
    // May be called from the timer's own signal: it goes once that has returned.
    downloadTimer_.release()->deleteLater();
  }
}
