#pragma once

#include "app/device/AudioDeviceError.h"
#include "app/service/NetworkError.h"
#include "app/update/UpdaterUserInterface.h"
#include "platform/Liveness.h"

#include <QByteArray>

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

class DownloadManager;
class FWUpdaterController;
class QEventLoop;

// The update check behind the Opening page's next button: finds the one recorder, switches
// it into its update mode when needed, reads its identity, asks the update service (or the
// local description) and ends on a result page or an alert. One per press of the button.
class CheckUpdateInteractor final {
 public:
  // The worker's pauses; tests shorten them.
  struct Pauses {
    std::chrono::milliseconds afterDetection{1000};
    std::chrono::milliseconds afterModeChange{2000};
    std::chrono::milliseconds afterFailedStatus{1000};
    // How long one step may take before the check gives up on it: well beyond the longest
    // legitimate step (a mode change, or the service's time-outs), so only a hang reaches it.
    std::chrono::milliseconds longestStep{std::chrono::minutes(10)};
  };

  explicit CheckUpdateInteractor(FWUpdaterController& controller);
  CheckUpdateInteractor(FWUpdaterController& controller, Pauses pauses);

  ~CheckUpdateInteractor();
  CheckUpdateInteractor(const CheckUpdateInteractor&) = delete;
  CheckUpdateInteractor& operator=(const CheckUpdateInteractor&) = delete;

  // The check loop, on the main thread; returns when it has ended on a page or an alert.
  void run();

 private:
  // What a background step hands to the main thread: it stores the step's result in the
  // check. It runs there only while the check still waits for that step, so a late result
  // (after the check gave up) is dropped.
  using StepResult = std::function<void(CheckUpdateInteractor&)>;
  // Starts waiting for a new step; the returned function, callable from any thread once,
  // hands the step's result over and ends the wait.
  std::function<void(StepResult)> beginStep();

  // The service's answer about `device` (the connection check first), as it arrives on the
  // HTTP client's queue: the error and the server's body.
  struct ServiceAnswer {
    std::optional<NetworkError> error;
    std::optional<QByteArray> body;
  };
  static void fetchUpdateInfo(const std::shared_ptr<DownloadManager>& manager,
                              const AudioDevice& device,
                              const std::function<void(ServiceAnswer)>& completion);
  // Stores the service's answer (or the local one) in the controller's updaterInfo.
  void storeUpdateInfoAnswer(const ServiceAnswer& answer, const AudioDevice& device);

  void startDetection();
  void evaluateDetection();
  void changeMode();
  void queryStatusAndServer();
  // Runs the user interface until the step's result has arrived; false when the step took
  // longer than `longestStep`, which ends the check with code 14. Without a progress window
  // the check ends after this step.
  bool waitModal();
  void giveUp();
  void closeProgressWindow();

  FWUpdaterController& controller_;
  Pauses pauses_;
  std::shared_ptr<ProgressView> progressWindowController_;
  // The step waited for, whether its result has arrived, and the loop that waits for it.
  uint64_t step_ = 0;
  bool stepDone_ = false;
  QEventLoop* waiting_ = nullptr;
  // What the steps handed over.
  std::optional<AudioDeviceError> detectorError_;
  std::optional<AudioDeviceError> modeChangeError_;
  int32_t status_ = 0;
  std::optional<NetworkError> networkError_;
  bool isRunning_ = true;
  // A result arriving after the check has ended is dropped.
  Liveness<CheckUpdateInteractor> liveness_{*this};
};
