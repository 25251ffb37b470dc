#pragma once

#include "app/core/FirmwareInfo.h"
#include "app/device/AudioDevice.h"
#include "app/service/DownloadManager.h"
#include "platform/Liveness.h"

#include <QByteArray>
#include <QDateTime>
#include <QObject>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>

class DownloadProgressView;
class QTimer;
class UserInterface;

// Fetches the firmware package of the server's answer into memory while the download
// progress window shows percent, elapsed and remaining time, or reads it from a file in local
// mode. Lives and works on the main thread; the manager's answers are re-posted there.
class DownloadFWInteractor final : public QObject {
 public:
  using Completion = std::function<void(std::optional<QByteArray> data)>;

  struct ProgressState {
    int progressValue = 0;
    double pastTimeInterval = 0;
    double remainTimeInterval = -1.0;  // negative: unknown
  };
  struct ProgressTick {
    ProgressState state;
    bool percentChanged = false;
    bool pastTimeChanged = false;
    bool remainTimeChanged = false;
  };
  // One tick of the display from the manager's total (-1 unknown) and received sizes and the
  // seconds since the download started (none before it started).
  static ProgressTick progressTick(const ProgressState& state, int64_t total, int64_t received,
                                   std::optional<double> elapsed);

  // `localMode`: the controller holds a local firmware description, and the answer's fileURL
  // is a file address.
  DownloadFWInteractor(UpdaterInfo updaterInfo, std::shared_ptr<DownloadManager> downloadManager,
                       AudioDevicePtr device, UserInterface& userInterface, bool localMode);
  ~DownloadFWInteractor() override;
  DownloadFWInteractor(const DownloadFWInteractor&) = delete;
  DownloadFWInteractor& operator=(const DownloadFWInteractor&) = delete;

  // False, and nothing happens, without firmware information. Otherwise the completion is
  // called exactly once, on the main thread.
  bool start(Completion completion);

  // Tests shorten the pause that shows 100 % before the window closes.
  void setFinishingPause(std::chrono::milliseconds pause) { finishingPause_ = pause; }
  void setClock(std::function<QDateTime()> clock) { clock_ = std::move(clock); }

 private:
  void startLocal();
  void checkConnection();
  void handleConnection(bool connected);
  void downloadFinished(std::optional<QByteArray> data, const std::optional<NetworkError>& error);
  void finish(std::optional<QByteArray> data, const std::optional<NetworkError>& error);
  void tick();
  void stopTimer();
  void closeWindow();

  UpdaterInfo updaterInfo_;
  std::shared_ptr<DownloadManager> downloadManager_;
  AudioDevicePtr device_;
  UserInterface& userInterface_;
  bool localMode_;
  std::unique_ptr<DownloadProgressView> progressDialog_;
  QTimer* refreshTimer_ = nullptr;

  Completion completion_;
  ProgressState progress_;
  bool downloadStarted_ = false;
  // Cancel was pressed; before the download began (during the connection check) the manager
  // has nothing to cancel yet, so the check's end must not start it.
  bool cancelRequested_ = false;
  std::chrono::milliseconds finishingPause_{1000};
  std::function<QDateTime()> clock_ = [] { return QDateTime::currentDateTimeUtc(); };
  Liveness<DownloadFWInteractor> liveness_{*this};
};
