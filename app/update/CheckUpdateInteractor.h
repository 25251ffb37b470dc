#pragma once

#include "app/device/AudioDeviceError.h"
#include "app/service/NetworkError.h"
#include "app/update/UpdaterUserInterface.h"

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <semaphore>

class FWUpdaterController;

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

  // The check loop, on the main thread; returns when it has ended on a page or an alert.
  void run();

  // Asks the service about `device` (the connection check first) and stores its answer in
  // the controller; the completion runs on the HTTP client's queue. Static: a late answer
  // may come after the check that asked has ended, and reaches only the controller.
  static void fetchUpdateInfo(FWUpdaterController& controller, const AudioDevice& device,
                              const std::function<void(std::optional<NetworkError>)>& completion);

  bool isRunning() const { return isRunning_; }

 private:
  void startDetection();
  void evaluateDetection();
  void changeMode();
  void queryStatusAndServer();
  // Pumps the interface until the worker signals or the progress window has gone; false
  // when the step took longer than `longestStep`, which ends the check with code 14.
  bool waitModal();
  void giveUp();
  void closeProgressWindow();
  // Stores the service's answer (or the local one) in the controller's updaterInfo.
  static void handleUpdateInfoAnswer(
      FWUpdaterController& controller, const std::optional<QByteArray>& body,
      const std::optional<NetworkError>& error, const AudioDevice& device,
      const std::function<void(std::optional<NetworkError>)>& completion);

  FWUpdaterController& controller_;
  Pauses pauses_;
  std::shared_ptr<ProgressView> progressWindowController_;
  // Shared with the workers, which may signal after this check has given up waiting.
  std::shared_ptr<std::counting_semaphore<>> completedSemaphore_;
  std::shared_ptr<std::optional<AudioDeviceError>> detectorError_;
  bool isRunning_ = true;
};
