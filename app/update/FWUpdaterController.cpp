#include "app/update/FWUpdaterController.h"

#include "app/device/AudioDeviceDetectorReal.h"
#include "app/device/AudioDeviceInterfaceReal.h"
#include "app/firmware/FileCopyProcedure.h"
#include "app/firmware/ScsiTransferProcedure.h"
#include "app/localize/CMLocalize.h"
#include "app/service/DownloadManagerReal.h"
#include "app/update/CheckUpdateInteractor.h"
#include "app/update/TransferFWInteractor.h"

namespace {

QString text(const QString& messageId) { return CMLocalize::localizedString(messageId); }

}  // namespace

FWUpdaterController& FWUpdaterController::shared() {
  static auto* const controller = new FWUpdaterController(
      std::make_shared<RunningEnvironmentReal>(), std::make_shared<AudioDeviceDetectorReal>(),
      std::make_shared<AudioDeviceInterfaceReal>(std::make_shared<ScsiTransferProcedure>(),
                                                 std::make_shared<FileCopyProcedure>(),
                                                 AudioDeviceInterfaceReal::Waits{}),
      std::make_shared<DownloadManagerReal>());
  return *controller;
}

FWUpdaterController::FWUpdaterController(std::shared_ptr<RunningEnvironment> environment,
                                         std::shared_ptr<AudioDeviceDetector> deviceDetector,
                                         std::shared_ptr<AudioDeviceInterface> deviceInterface,
                                         std::shared_ptr<DownloadManager> downloadManager)
    : environment_(std::move(environment)),
      deviceDetector_(std::move(deviceDetector)),
      deviceInterface_(std::move(deviceInterface)),
      downloadManager_(std::move(downloadManager)) {}

FWUpdaterController::~FWUpdaterController() { releaseRecorder(); }

void FWUpdaterController::releaseRecorder() {
  transferFWInteractor_.reset();
  downloadFWInteractor_.reset();
  targetDevice_.reset();
}

void FWUpdaterController::replaceRoles(std::shared_ptr<RunningEnvironment> newEnvironment,
                                       std::shared_ptr<AudioDeviceDetector> newDeviceDetector,
                                       std::shared_ptr<AudioDeviceInterface> newDeviceInterface,
                                       std::optional<UpdaterInfo> newUpdaterInfo,
                                       std::shared_ptr<DownloadManager> newDownloadManager) {
  if (newEnvironment) {
    environment_ = std::move(newEnvironment);
  }
  if (newDeviceDetector) {
    deviceDetector_ = std::move(newDeviceDetector);
  }
  if (newDeviceInterface) {
    deviceInterface_ = std::move(newDeviceInterface);
  }
  if (newUpdaterInfo) {
    updaterInfo_ = std::move(newUpdaterInfo);
  }
  if (newDownloadManager) {
    downloadManager_ = std::move(newDownloadManager);
  }
}

void FWUpdaterController::setExecutingUpdate(bool executing) {
  isExecutingUpdate_ = executing;
  if (mainWindowController_ != nullptr) {
    mainWindowController_->executingUpdateChanged();
  }
}

void FWUpdaterController::next() { CheckUpdateInteractor(*this, checkPauses_).run(); }

void FWUpdaterController::performUpdateFirmware() {
  if (confirmUpdate()) {
    showPage({WizardPage::license, std::nullopt, std::nullopt});
  }
}

void FWUpdaterController::disagree() {
  showUpdaterAvailable(targetDevice_, updaterInfo_ ? updaterInfo_->firmwareInfo : std::nullopt);
}

void FWUpdaterController::startDownload() {
  if (mainWindowController_ != nullptr) {
    mainWindowController_->hideMainWindow();
  }
  if (updaterInfo_ && targetDevice_ != nullptr && mainWindowController_ != nullptr) {
    downloadFWInteractor_ = std::make_unique<DownloadFWInteractor>(
        *updaterInfo_, downloadManager_, targetDevice_, *mainWindowController_,
        localUpdateInfo_.has_value());
    if (downloadFWInteractor_->start(
            [this](std::optional<QByteArray> data) { onDownloadFinished(std::move(data)); })) {
      return;
    }
  }
  bringMainWindowToFront();
}

void FWUpdaterController::onDownloadFinished(std::optional<QByteArray> firmwareData) {
  if (!firmwareData) {
    disagree();
    bringMainWindowToFront();
    return;
  }
  startTransfer(*firmwareData);
}

void FWUpdaterController::startTransfer(const QByteArray& firmwareData) {
  if (targetDevice_ == nullptr || !updaterInfo_ || !updaterInfo_->firmwareInfo) {
    return;
  }
  transferFWInteractor_.reset();
  transferFWInteractor_ = std::make_unique<TransferFWInteractor>(
      *this, targetDevice_, deviceInterface_, firmwareData, *updaterInfo_->firmwareInfo);
  transferFWInteractor_->start();
}

void FWUpdaterController::goToNext() {
  showPage({WizardPage::completed, std::nullopt, std::nullopt});
  isNeededConfirmToQuit_ = false;
}

void FWUpdaterController::updateNextDevice() const {
  showPage({WizardPage::opening, std::nullopt, std::nullopt});
}

void FWUpdaterController::terminateApp() const {
  if (mainWindowController_ != nullptr) {
    mainWindowController_->terminate();
  }
}

bool FWUpdaterController::confirmQuit() {
  const std::optional<int> code =
      runAlert({text(QStringLiteral("ID_MSG_QUIT_APP")), text(QStringLiteral("ID_YES")),
                text(QStringLiteral("ID_NO")), std::nullopt, true});
  return !code || *code == 1;
}

bool FWUpdaterController::shouldClose() {
  if (isQuitPending_) {
    return false;
  }
  if (!isNeededConfirmToQuit_) {
    return true;
  }
  if (!confirmQuit()) {
    return false;
  }
  isNeededConfirmToQuit_ = false;
  if (isExecutingUpdate_) {
    // The window stays, saying why, until the recorder has finished its step.
    quitWhenUpdateStepEnds();
    return false;
  }
  return true;
}

bool FWUpdaterController::handleTerminationSignal(bool canAsk) {
  if (!isExecutingUpdate_ && !isNeededConfirmToQuit_) {
    return false;
  }
  if (interrupted_) {
    return true;
  }
  // A signal while the question is open goes on without the answer, from within it.
  if (canAsk && !isAskingToQuit_) {
    isAskingToQuit_ = true;
    const bool quit = confirmQuit();
    isAskingToQuit_ = false;
    if (!quit) {
      return true;
    }
  }
  if (interrupted_) {
    return true;
  }
  interrupted_ = true;
  isNeededConfirmToQuit_ = false;
  deviceInterface_->requestInterruption();
  if (isExecutingUpdate_) {
    quitWhenUpdateStepEnds();
  } else {
    terminateApp();
  }
  return true;
}

void FWUpdaterController::quitWhenUpdateStepEnds() {
  isQuitPending_ = true;
  if (quittingView_ == nullptr && mainWindowController_ != nullptr) {
    quittingView_ = mainWindowController_->showProgress(false);
  }
  if (quittingView_ != nullptr) {
    quittingView_->setIndeterminate(true);
    quittingView_->setMessage(text(QStringLiteral("ID_MSG_QUIT_AFTER_RECORDER")));
  }
}

void FWUpdaterController::updateStepEnded() {
  if (!isQuitPending_) {
    return;
  }
  isQuitPending_ = false;
  if (quittingView_ != nullptr) {
    quittingView_->close();
    quittingView_ = nullptr;
  }
  terminateApp();
}

void FWUpdaterController::showErrorAlert(const QString& messageId) {
  runAlert({text(messageId), text(QStringLiteral("ID_OK")), std::nullopt, std::nullopt});
}

QString FWUpdaterController::communicationErrorText(int32_t code, const QString& detail) {
  QString message = text(QStringLiteral("ID_ERR_CAMERA_COMMUNICATION"))
                        .replace(QStringLiteral("%d"), QString::number(code));
  if (!detail.isEmpty()) {
    message += QLatin1Char('\n') + detail;
  }
  return message;
}

void FWUpdaterController::showCommunicationErrorAlert(int32_t code, const QString& detail) {
  runAlert({communicationErrorText(code, detail), text(QStringLiteral("ID_OK")), std::nullopt,
            std::nullopt});
}

void FWUpdaterController::askRetry(const QString& messageId, bool& flag) {
  const std::optional<int> code = runAlert({text(messageId), text(QStringLiteral("ID_RETRY")),
                                            text(QStringLiteral("ID_CANCEL")), std::nullopt});
  flag = code && *code == 1;
}

bool FWUpdaterController::confirmUpdate() {
  const std::optional<int> code = runAlert(
      {text(QStringLiteral("ID_MSG_CONFIRM_UPDATE_CAMERA")), text(QStringLiteral("ID_YES")),
       text(QStringLiteral("ID_NO")), QStringLiteral("exc_mark_icn"), true});
  return code && *code == 1;
}

void FWUpdaterController::reportDeviceError(const AudioDeviceError& error) {
  switch (error.kind) {
    case AudioDeviceError::Kind::deviceError:
      showCommunicationErrorAlert(error.code);
      return;
    case AudioDeviceError::Kind::diskFullError:
      showErrorAlert(QStringLiteral("ID_ERR_NOT_ENOUGH_SPACE"));
      return;
    case AudioDeviceError::Kind::skelError:
      showErrorAlert(QStringLiteral("ID_BLOCKED_BY_SECURITY_POLICY_MAC"));
      return;
    case AudioDeviceError::Kind::driverMissing:
      showCommunicationErrorAlert(error.code, text(QStringLiteral("ID_ERR_DEVICE_RULE_MISSING")));
      return;
    case AudioDeviceError::Kind::interrupted:
      // Asked for: nothing to tell.
      return;
  }
}

void FWUpdaterController::showPage(const WizardPageRequest& request) const {
  if (mainWindowController_ != nullptr) {
    mainWindowController_->showPage(request);
  }
}

void FWUpdaterController::showUpdaterAvailable(
    const AudioDevicePtr& device, const std::optional<FirmwareInfo>& firmwareInfo) const {
  WizardPageRequest request{WizardPage::updaterAvailable, std::nullopt, firmwareInfo};
  if (device != nullptr) {
    request.device = *device;
  }
  showPage(request);
}

void FWUpdaterController::bringMainWindowToFront() const {
  if (mainWindowController_ != nullptr) {
    mainWindowController_->showMainWindow();
  }
}

std::optional<int> FWUpdaterController::runAlert(const AlertRequest& alert) const {
  if (mainWindowController_ == nullptr) {
    return std::nullopt;
  }
  return mainWindowController_->runAlert(alert);
}
