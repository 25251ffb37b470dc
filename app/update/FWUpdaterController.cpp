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

FWUpdaterController::FWUpdaterController(std::shared_ptr<RunningEnvironment> environment_,
                                         std::shared_ptr<AudioDeviceDetector> deviceDetector_,
                                         std::shared_ptr<AudioDeviceInterface> deviceInterface_,
                                         std::shared_ptr<DownloadManager> downloadManager_)
    : environment(std::move(environment_)),
      deviceDetector(std::move(deviceDetector_)),
      deviceInterface(std::move(deviceInterface_)),
      downloadManager(std::move(downloadManager_)) {}

FWUpdaterController::~FWUpdaterController() {
  transferFWInteractor.reset();
  downloadFWInteractor.reset();
}

void FWUpdaterController::replaceRoles(std::shared_ptr<RunningEnvironment> newEnvironment,
                                       std::shared_ptr<AudioDeviceDetector> newDeviceDetector,
                                       std::shared_ptr<AudioDeviceInterface> newDeviceInterface,
                                       std::optional<UpdaterInfo> newUpdaterInfo,
                                       std::shared_ptr<DownloadManager> newDownloadManager) {
  if (newEnvironment) {
    environment = std::move(newEnvironment);
  }
  if (newDeviceDetector) {
    deviceDetector = std::move(newDeviceDetector);
  }
  if (newDeviceInterface) {
    deviceInterface = std::move(newDeviceInterface);
  }
  if (newUpdaterInfo) {
    updaterInfo = std::move(newUpdaterInfo);
  }
  if (newDownloadManager) {
    downloadManager = std::move(newDownloadManager);
  }
}

void FWUpdaterController::setExecutingUpdate(bool executing) {
  isExecutingUpdate = executing;
  if (mainWindowController != nullptr) {
    mainWindowController->executingUpdateChanged();
  }
}

void FWUpdaterController::next() { CheckUpdateInteractor(*this, checkPauses).run(); }

void FWUpdaterController::performUpdateFirmware() {
  if (confirmUpdate()) {
    showPage({WizardPage::license, std::nullopt, std::nullopt});
  }
}

void FWUpdaterController::disagree() {
  showUpdaterAvailable(targetDevice, updaterInfo ? updaterInfo->firmwareInfo : std::nullopt);
}

void FWUpdaterController::startDownload() {
  if (mainWindowController != nullptr) {
    mainWindowController->hideMainWindow();
  }
  if (updaterInfo && targetDevice != nullptr && mainWindowController != nullptr) {
    downloadFWInteractor =
        std::make_unique<DownloadFWInteractor>(*updaterInfo, downloadManager, targetDevice,
                                               *mainWindowController, localUpdateInfo.has_value());
    if (downloadFWInteractor->start(
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
  if (targetDevice == nullptr || !updaterInfo || !updaterInfo->firmwareInfo) {
    return;
  }
  transferFWInteractor.reset();
  transferFWInteractor = std::make_unique<TransferFWInteractor>(
      *this, targetDevice, deviceInterface, firmwareData, *updaterInfo->firmwareInfo);
  transferFWInteractor->start();
}

void FWUpdaterController::goToNext() {
  showPage({WizardPage::completed, std::nullopt, std::nullopt});
  isNeededConfirmToQuit = false;
}

void FWUpdaterController::updateNextDevice() const {
  showPage({WizardPage::opening, std::nullopt, std::nullopt});
}

void FWUpdaterController::terminateApp() const {
  if (mainWindowController != nullptr) {
    mainWindowController->terminate();
  }
}

bool FWUpdaterController::confirmQuit() {
  const std::optional<int> code =
      runAlert({text(QStringLiteral("ID_MSG_QUIT_APP")), text(QStringLiteral("ID_YES")),
                text(QStringLiteral("ID_NO")), std::nullopt});
  return !code || *code == 1;
}

bool FWUpdaterController::shouldClose() {
  if (!isNeededConfirmToQuit) {
    return true;
  }
  if (!confirmQuit()) {
    return false;
  }
  isNeededConfirmToQuit = false;
  return true;
}

void FWUpdaterController::showErrorAlert(const QString& messageId) {
  runAlert({text(messageId), text(QStringLiteral("ID_OK")), std::nullopt, std::nullopt});
}

void FWUpdaterController::showCommunicationErrorAlert(int32_t code) {
  const QString format = text(QStringLiteral("ID_ERR_CAMERA_COMMUNICATION"));
  runAlert({QString(format).replace(QStringLiteral("%d"), QString::number(code)),
            text(QStringLiteral("ID_OK")), std::nullopt, std::nullopt});
}

void FWUpdaterController::askRetry(const QString& messageId, bool& flag) {
  const std::optional<int> code = runAlert({text(messageId), text(QStringLiteral("ID_RETRY")),
                                            text(QStringLiteral("ID_CANCEL")), std::nullopt});
  flag = code && *code == 1;
}

bool FWUpdaterController::confirmUpdate() {
  const std::optional<int> code = runAlert(
      {text(QStringLiteral("ID_MSG_CONFIRM_UPDATE_CAMERA")), text(QStringLiteral("ID_YES")),
       text(QStringLiteral("ID_NO")), QStringLiteral("exc_mark_icn")});
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
  }
}

void FWUpdaterController::showPage(const WizardPageRequest& request) const {
  if (mainWindowController != nullptr) {
    mainWindowController->showPage(request);
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
  if (mainWindowController != nullptr) {
    mainWindowController->showMainWindow();
  }
}

std::optional<int> FWUpdaterController::runAlert(const AlertRequest& alert) const {
  if (mainWindowController == nullptr) {
    return std::nullopt;
  }
  return mainWindowController->runAlert(alert);
}
