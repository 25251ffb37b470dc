#pragma once

#include "app/core/FirmwareInfo.h"
#include "app/core/RunningEnvironment.h"
#include "app/device/AudioDeviceDetector.h"
#include "app/device/AudioDeviceInterface.h"
#include "app/firmware/LocalUpdateInfo.h"
#include "app/service/DownloadManager.h"
#include "app/update/CheckUpdateInteractor.h"
#include "app/update/DownloadFWInteractor.h"
#include "app/update/UpdaterUserInterface.h"
#include "platform/Bundle.h"
#include "platform/SerialQueue.h"

#include <QByteArray>

#include <memory>
#include <optional>

class TransferFWInteractor;

// The spine of an update run: the roles that reach the recorder, the server and the system,
// the recorder chosen, the server's answer, the flags that govern quitting, the device
// queue, and the flow from the Opening page to the Completed page. Its state is touched on
// the main thread only; recorder work runs on `deviceQueue()`.
class FWUpdaterController final {
 public:
  // The process's controller, with the real roles; created on first use, never destroyed.
  static FWUpdaterController& shared();

  FWUpdaterController(std::shared_ptr<RunningEnvironment> environment,
                      std::shared_ptr<AudioDeviceDetector> deviceDetector,
                      std::shared_ptr<AudioDeviceInterface> deviceInterface,
                      std::shared_ptr<DownloadManager> downloadManager);
  ~FWUpdaterController();
  FWUpdaterController(const FWUpdaterController&) = delete;
  FWUpdaterController& operator=(const FWUpdaterController&) = delete;

  // The roles; replaceRoles swaps them before the first page.
  const std::shared_ptr<RunningEnvironment>& environment() const { return environment_; }
  const std::shared_ptr<AudioDeviceDetector>& deviceDetector() const { return deviceDetector_; }
  const std::shared_ptr<AudioDeviceInterface>& deviceInterface() const { return deviceInterface_; }
  const std::shared_ptr<DownloadManager>& downloadManager() const { return downloadManager_; }
  // Where recorder work runs, one step after another.
  SerialQueue& deviceQueue() { return deviceQueue_; }

  // The recorder the check chose; none before it chose one.
  const AudioDevicePtr& targetDevice() const { return targetDevice_; }
  void setTargetDevice(AudioDevicePtr device) { targetDevice_ = std::move(device); }
  // The server's (or the local description's) answer of the last check.
  const std::optional<UpdaterInfo>& updaterInfo() const { return updaterInfo_; }
  void setUpdaterInfo(std::optional<UpdaterInfo> info) { updaterInfo_ = std::move(info); }
  // The local firmware description, which puts the run in local mode, and the folder where
  // it and its firmware file were found.
  const std::optional<LocalUpdateInfo>& localUpdateInfo() const { return localUpdateInfo_; }
  const QString& localFirmwareFolder() const { return localFirmwareFolder_; }
  void setLocalUpdateInfo(std::optional<LocalUpdateInfo> info,
                          QString folder = Bundle::main().containingDirectory()) {
    localUpdateInfo_ = std::move(info);
    localFirmwareFolder_ = std::move(folder);
  }

  // The recorder is busy with the transfer or its follow-up step; the front end hears of
  // each change.
  bool isExecutingUpdate() const { return isExecutingUpdate_; }
  void setExecutingUpdate(bool executing);
  // Closing asks first: the Updating page waits for the user's confirmation.
  bool isNeededConfirmToQuit() const { return isNeededConfirmToQuit_; }
  void setNeededConfirmToQuit(bool needed) { isNeededConfirmToQuit_ = needed; }

  // The check's pauses after its background steps; tests shorten them.
  void setCheckPauses(CheckUpdateInteractor::Pauses pauses) { checkPauses_ = pauses; }

  // The main window's front end; none until start-up sets it.
  UpdaterUserInterface* mainWindowController() const { return mainWindowController_; }
  void setMainWindowController(UpdaterUserInterface* userInterface) {
    mainWindowController_ = userInterface;
  }

  // Lets go of the recorder and of the use cases that hold it. The virtual recorders'
  // registry objects live in them and must go before the process ends.
  void releaseRecorder();

  // Puts each role given in place of the controller's own; none keeps the role in place.
  void replaceRoles(std::shared_ptr<RunningEnvironment> newEnvironment,
                    std::shared_ptr<AudioDeviceDetector> newDeviceDetector,
                    std::shared_ptr<AudioDeviceInterface> newDeviceInterface,
                    std::optional<UpdaterInfo> newUpdaterInfo,
                    std::shared_ptr<DownloadManager> newDownloadManager);

  // Page actions.
  void next();                    // Opening: the update check
  void performUpdateFirmware();   // UpdaterAvailable: confirm, then the licence
  void disagree();                // Licence
  void startDownload();           // Licence: agree
  void goToNext();                // Updating: the user confirmed
  void updateNextDevice() const;  // UpdaterNone: continue
  void terminateApp() const;      // UpdaterNone, Completed: close

  void onDownloadFinished(std::optional<QByteArray> firmwareData);
  void startTransfer(const QByteArray& firmwareData);

  // The quit question while the Updating page waits; true to quit.
  bool confirmQuit();
  // The main window's and the application's should-close hooks. While the recorder still
  // works on its follow-up step, a confirmed quit keeps the window until the step has ended
  // (quitWhenUpdateStepEnds) and answers no.
  bool shouldClose();

  // A request to end the application from outside its windows: SIGINT, SIGTERM or SIGHUP.
  // False outside the update (the write, its follow-up step and the Updating page): the
  // caller ends the process. Otherwise it asks the quit question when someone can answer
  // (`canAsk`) and the question is not already open; on yes, or when nobody answers, the
  // update stops after the recorder command in flight, removes what it wrote, and the
  // application ends interrupted once the step has ended.
  bool handleTerminationSignal(bool canAsk);
  // The update was stopped before its end; the exit status says so.
  bool isInterrupted() const { return interrupted_; }
  // Ends the application once the transfer or its follow-up step has ended, showing meanwhile
  // that it waits for the recorder.
  void quitWhenUpdateStepEnds();
  // The transfer or the follow-up step has ended and shown its outcome: a quit asked for
  // meanwhile happens now.
  void updateStepEnded();

  // The flow's alerts.
  void showErrorAlert(const QString& messageId);
  // "Could not communicate with the recorder" with `code`, and `detail` below it when given.
  static QString communicationErrorText(int32_t code, const QString& detail = {});
  void showCommunicationErrorAlert(int32_t code, const QString& detail = {});
  void askRetry(const QString& messageId, bool& flag);
  bool confirmUpdate();
  void reportDeviceError(const AudioDeviceError& error);

  void showPage(const WizardPageRequest& request) const;
  // The UpdaterAvailable page for `device` and `firmwareInfo`.
  void showUpdaterAvailable(const AudioDevicePtr& device,
                            const std::optional<FirmwareInfo>& firmwareInfo) const;
  void bringMainWindowToFront() const;

 private:
  std::optional<int> runAlert(const AlertRequest& alert) const;

  std::shared_ptr<RunningEnvironment> environment_;
  std::shared_ptr<AudioDeviceDetector> deviceDetector_;
  std::shared_ptr<AudioDeviceInterface> deviceInterface_;
  std::shared_ptr<DownloadManager> downloadManager_;
  SerialQueue deviceQueue_{"device"};
  AudioDevicePtr targetDevice_;
  std::optional<UpdaterInfo> updaterInfo_;
  std::optional<LocalUpdateInfo> localUpdateInfo_;
  QString localFirmwareFolder_ = Bundle::main().containingDirectory();
  std::unique_ptr<DownloadFWInteractor> downloadFWInteractor_;
  std::unique_ptr<TransferFWInteractor> transferFWInteractor_;
  bool isExecutingUpdate_ = false;
  bool isNeededConfirmToQuit_ = false;
  bool isQuitPending_ = false;
  bool isAskingToQuit_ = false;
  bool interrupted_ = false;
  std::unique_ptr<ProgressView> quittingView_;
  CheckUpdateInteractor::Pauses checkPauses_;
  UpdaterUserInterface* mainWindowController_ = nullptr;
};
