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
// queue, and the flow from the Opening page to the Completed page. Every operation runs on
// the main thread; recorder work runs on `deviceQueue`.
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

  std::shared_ptr<RunningEnvironment> environment;
  std::shared_ptr<AudioDeviceDetector> deviceDetector;
  std::shared_ptr<AudioDeviceInterface> deviceInterface;
  AudioDevicePtr targetDevice;
  std::optional<UpdaterInfo> updaterInfo;
  std::optional<LocalUpdateInfo> localUpdateInfo;
  // Where the local description and its firmware file were found.
  QString localFirmwareFolder = Bundle::main().containingDirectory();
  std::shared_ptr<DownloadManager> downloadManager;
  std::unique_ptr<DownloadFWInteractor> downloadFWInteractor;
  std::unique_ptr<TransferFWInteractor> transferFWInteractor;
  // Set through setExecutingUpdate, which tells the front end.
  bool isExecutingUpdate = false;
  bool isNeededConfirmToQuit = false;
  SerialQueue deviceQueue{"device"};
  // The check's pauses after its background steps; tests shorten them.
  CheckUpdateInteractor::Pauses checkPauses;
  // The main window's front end; none until start-up sets it.
  UpdaterUserInterface* mainWindowController = nullptr;

  // Puts each role given in place of the controller's own; none keeps the role in place.
  void replaceRoles(std::shared_ptr<RunningEnvironment> newEnvironment,
                    std::shared_ptr<AudioDeviceDetector> newDeviceDetector,
                    std::shared_ptr<AudioDeviceInterface> newDeviceInterface,
                    std::optional<UpdaterInfo> newUpdaterInfo,
                    std::shared_ptr<DownloadManager> newDownloadManager);

  void setExecutingUpdate(bool executing);

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
  // The main window's and the application's should-close hooks.
  bool shouldClose();

  // The flow's alerts.
  void showErrorAlert(const QString& messageId);
  void showCommunicationErrorAlert(int32_t code);
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
};
