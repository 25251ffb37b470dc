#pragma once

#include "app/service/DownloadManager.h"
#include "platform/SerialQueue.h"

#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>

class QTimer;

// The update service without a network: the connection check answers isConnectedToInternet,
// the update-information request answers nothing (the offer is set up beforehand), and a
// download "receives" 1 MiB per tick of a repeating timer on the event loop of the thread
// that started it, then delivers dammyData with the status or error it was given.
// downloadFirmware and cancelDownload are called on that one thread; the sizes and the start
// date may be read from any.
class DownloadManagerMock final : public DownloadManager {
 public:
  static constexpr int64_t kBytesPerTick = 1048576;

  // `tickInterval`: the time one tick of a download takes.
  explicit DownloadManagerMock(
      std::chrono::milliseconds tickInterval = std::chrono::milliseconds(1000));
  ~DownloadManagerMock() override;
  DownloadManagerMock(const DownloadManagerMock&) = delete;
  DownloadManagerMock& operator=(const DownloadManagerMock&) = delete;

  int64_t firmwareSizeAct() const override { return firmwareSize_; }
  int64_t downloadedSizeAct() const override { return downloadedSize_; }
  std::optional<QDateTime> startDate() const override;

  // The recorder's own model number and version; the settings file plays no part.
  QString requestModelCode(const AudioDevice& device) const override;
  QString requestFirmwareVersion(const AudioDevice& device) const override;
  std::optional<QByteArray> localUpdateResponse(const AudioDevice& device) const override;
  std::optional<QByteArray> localUpdateFirmware(const AudioDevice& device) const override;

  void checkConnection(ConnectionCompletion completion) override;
  void requestUpdateInfo(const QByteArray& body, DataCompletion completion) override;
  // A new download starts from nothing; while one runs, the call is dropped.
  void downloadFirmware(const FirmwareInfo& firmwareInfo, DataCompletion completion) override;
  // Ends the running download, if any, with userCancelled.
  void cancelDownload() override;

  bool isDownloading() const { return downloadTimer_ != nullptr; }

  // Set up before use, on the thread that downloads.
  std::optional<FirmwareInfo> firmwareInfo;  // kept for tools; the operations do not read it
  std::optional<QByteArray> dammyData;
  int dammyHttpStatusCode = 0;
  std::optional<QString> dammyError;  // the description of an error the download ends with
  std::atomic<bool> isConnectedToInternet = true;
  std::optional<QString> localModeDataDirectory;  // kept for tools; not read

 private:
  void tick();
  void dropTimer();
  std::optional<NetworkError> endingError() const;

  std::atomic<int64_t> firmwareSize_ = 0;
  std::atomic<int64_t> downloadedSize_ = 0;
  mutable std::mutex startDateLock_;
  std::optional<QDateTime> startDate_;
  std::unique_ptr<QTimer> downloadTimer_;
  DataCompletion completion_;
  const std::chrono::milliseconds tickInterval_;
  SerialQueue networkQueue_{"network"};
};
