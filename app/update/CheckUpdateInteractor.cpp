#include "app/update/CheckUpdateInteractor.h"

#include "app/core/Logger.h"
#include "app/device/GetDeviceStatusInteractor.h"
#include "app/device/VersionCode.h"
#include "app/localize/CMLocalize.h"
#include "app/service/CountryCode.h"
#include "app/service/FirmwareDemand.h"
#include "app/service/KvoIBProtocolEncoder.h"
#include "app/service/LanguageCode.h"
#include "app/update/FWUpdaterController.h"
#include "app/update/NetworkErrorAlert.h"
#include "platform/TaskReceiver.h"

#include <QCoreApplication>
#include <QEventLoop>

#include <thread>

namespace {

QString text(const char* messageId) {
  return CMLocalize::localizedString(QString::fromLatin1(messageId));
}

}  // namespace

CheckUpdateInteractor::CheckUpdateInteractor(FWUpdaterController& controller)
    : CheckUpdateInteractor(controller, Pauses{}) {}

CheckUpdateInteractor::CheckUpdateInteractor(FWUpdaterController& controller, Pauses pauses)
    : controller_(controller),
      pauses_(pauses),
      completedSemaphore_(std::make_shared<std::counting_semaphore<>>(0)),
      detectorError_(std::make_shared<std::optional<AudioDeviceError>>()) {}

void CheckUpdateInteractor::run() {
  while (isRunning_) {
    startDetection();
    if (!waitModal()) {
      controller_.deviceDetector->setCompletion(nullptr);
      giveUp();
      return;
    }
    evaluateDetection();
    if (!isRunning_ || controller_.targetDevice == nullptr) {
      continue;
    }
    if (controller_.deviceInterface->requiresModeChange(*controller_.targetDevice)) {
      changeMode();
      continue;
    }
    queryStatusAndServer();
  }
}

void CheckUpdateInteractor::startDetection() {
  controller_.targetDevice = nullptr;
  if (controller_.mainWindowController != nullptr) {
    progressWindowController_ = controller_.mainWindowController->showProgress(false);
  }
  if (progressWindowController_ != nullptr) {
    progressWindowController_->setMessage(text("ID_DETECT_RECORDER"));
    progressWindowController_->setIndeterminate(true);
  }
  auto semaphore = completedSemaphore_;
  auto error = detectorError_;
  const auto pause = pauses_.afterDetection;
  controller_.deviceDetector->setCompletion(
      [semaphore, error, pause](std::optional<AudioDeviceError> detected) {
        *error = detected;
        std::this_thread::sleep_for(pause);
        semaphore->release();
      });
  detectorError_->reset();
  controller_.deviceDetector->detect();
}

void CheckUpdateInteractor::evaluateDetection() {
  AudioDeviceDetector& detector = *controller_.deviceDetector;
  if (const std::optional<AudioDeviceError> error = *detectorError_) {
    closeProgressWindow();
    isRunning_ = false;
    controller_.reportDeviceError(*error);
  } else if (const auto devices = detector.devices(); devices.size() != 1) {
    closeProgressWindow();
    controller_.askRetry(
        QString::fromLatin1(devices.empty() ? "ID_ERR_DETECT_RECORDER" : "ID_ERR_PLURAL_RECORDER"),
        isRunning_);
  } else if (const auto supported = detector.supportedDevices(); supported.size() != 1) {
    closeProgressWindow();
    controller_.showErrorAlert(QStringLiteral("ID_ERR_DIFFERENT_RECORDER"));
    isRunning_ = false;
  } else {
    controller_.targetDevice = supported.front();
  }
  detector.setCompletion(nullptr);
}

void CheckUpdateInteractor::changeMode() {
  auto semaphore = completedSemaphore_;
  auto box = std::make_shared<std::optional<AudioDeviceError>>();
  const auto pause = pauses_.afterModeChange;
  const AudioDevicePtr device = controller_.targetDevice;
  const std::shared_ptr<AudioDeviceInterface> deviceInterface = controller_.deviceInterface;
  SerialQueue& queue = controller_.deviceQueue;
  queue.async([=, &queue] {
    deviceInterface->switchRecorderMode(
        *device, queue, [semaphore, box, pause](std::optional<AudioDeviceError> error) {
          std::this_thread::sleep_for(pause);
          *box = error;
          semaphore->release();
        });
  });
  if (!waitModal()) {
    giveUp();
    return;
  }
  closeProgressWindow();
  if (*box) {
    controller_.reportDeviceError(**box);
    isRunning_ = false;
  }
}

void CheckUpdateInteractor::queryStatusAndServer() {
  auto semaphore = completedSemaphore_;
  auto status = std::make_shared<int32_t>(AudioDeviceErrorCode::kStepFailed);
  auto networkError = std::make_shared<std::optional<NetworkError>>();
  const AudioDevicePtr device = controller_.targetDevice;
  const bool localMode = controller_.localUpdateInfo.has_value();
  const std::shared_ptr<AudioDeviceInterface> deviceInterface = controller_.deviceInterface;
  const auto pause = pauses_.afterFailedStatus;
  // The window may be gone by the time the worker asks for the new message, and this check
  // too, when it gave up waiting: the worker holds neither.
  const std::weak_ptr<ProgressView> window = progressWindowController_;
  FWUpdaterController& controller = controller_;
  controller_.deviceQueue.async([=, &controller] {
    *status = GetDeviceStatusInteractor().execute(*deviceInterface, *device);
    if (*status != 0) {
      std::this_thread::sleep_for(pause);
      semaphore->release();
      return;
    }
    if (localMode) {
      semaphore->release();
      return;
    }
    TaskReceiver::postToMain([window] {
      if (const auto view = window.lock()) {
        view->setMessage(text("ID_MSG_CONECTTING_TO_SERVER"));
      }
    });
    fetchUpdateInfo(controller, *device,
                    [semaphore, networkError](std::optional<NetworkError> error) {
                      *networkError = std::move(error);
                      semaphore->release();
                    });
  });
  if (!waitModal()) {
    giveUp();
    return;
  }
  closeProgressWindow();

  // Read only after the wait: the worker wrote these before it signalled.
  if (*status != 0) {
    controller_.showCommunicationErrorAlert(*status);
    isRunning_ = false;
    return;
  }
  if (*networkError) {
    isRunning_ = false;
    if (controller_.mainWindowController != nullptr) {
      NetworkErrorAlert(*controller_.mainWindowController).report(**networkError, isRunning_);
    }
    return;
  }
  isRunning_ = false;
  if (controller_.localUpdateInfo) {
    controller_.updaterInfo =
        UpdaterInfo{controller_.localUpdateInfo->makeFirmwareInfo(controller_.localFirmwareFolder)};
    controller_.showUpdaterAvailable(device, controller_.updaterInfo->firmwareInfo);
    return;
  }
  const std::optional<FirmwareInfo> offered =
      controller_.updaterInfo ? controller_.updaterInfo->firmwareInfo : std::nullopt;
  if (offered && isVersionCodeLower(device->version, offered->version)) {
    controller_.showUpdaterAvailable(device, offered);
  } else {
    controller_.showPage({WizardPage::updaterNone, *device, std::nullopt});
  }
}

void CheckUpdateInteractor::fetchUpdateInfo(
    FWUpdaterController& controller, const AudioDevice& device,
    const std::function<void(std::optional<NetworkError>)>& completion) {
  // The answers come on the HTTP client's queue, possibly after this check has ended; they
  // go to the controller, which lives for the whole process. The callback holds the manager
  // weakly: the last reference must not go on the manager's own queue, whose thread the
  // manager's end joins.
  const std::weak_ptr<DownloadManager> weakManager = controller.downloadManager;
  controller.downloadManager->checkConnection(
      [&controller, weakManager, device, completion](bool connected) {
        if (!connected) {
          completion(NetworkError::notConnected());
          return;
        }
        const std::shared_ptr<DownloadManager> manager = weakManager.lock();
        if (manager == nullptr) {
          return;  // the run has ended; nobody waits for the answer
        }
        const QString language = LanguageCode::text(LanguageCode::currentLanguageCode());
        const QString country = CountryCode::currentCountryCode();
        const QString modelCode = manager->requestModelCode(device);
        const QString firmwareVersion = manager->requestFirmwareVersion(device);
        const auto root =
            FirmwareDemand().makeDemandNode(language, country, modelCode, firmwareVersion);
        const QByteArray bytes =
            root ? KvoIBProtocolEncoder().xmlDataWithRootNode(*root) : QByteArray();
        if (bytes.isEmpty()) {
          completion(NetworkError::generalError(QStringLiteral("unknown")));
          return;
        }
        manager->requestUpdateInfo(
            bytes, [&controller, device, completion](const std::optional<QByteArray>& body,
                                                     const std::optional<NetworkError>& error) {
              handleUpdateInfoAnswer(controller, body, error, device, completion);
            });
      });
}

void CheckUpdateInteractor::handleUpdateInfoAnswer(
    FWUpdaterController& controller, const std::optional<QByteArray>& body,
    const std::optional<NetworkError>& error, const AudioDevice& device,
    const std::function<void(std::optional<NetworkError>)>& completion) {
  const FirmwareDemand demand;
  if (body && !error) {
    controller.updaterInfo = UpdaterInfo{demand.parseFirmwareResult(*body)};
  }
  // A local answer describes the firmware; the server's answer, when there is one, names
  // the package.
  if (const auto local = controller.downloadManager->localUpdateResponse(device)) {
    std::optional<QString> fileURL;
    if (controller.updaterInfo && controller.updaterInfo->firmwareInfo) {
      fileURL = controller.updaterInfo->firmwareInfo->fileURL;
    }
    controller.updaterInfo = UpdaterInfo{demand.parseFirmwareResult(*local)};
    if (fileURL && controller.updaterInfo->firmwareInfo) {
      controller.updaterInfo->firmwareInfo->fileURL = *fileURL;
    }
  }
  completion(error);
}

bool CheckUpdateInteractor::waitModal() {
  if (progressWindowController_ == nullptr || !progressWindowController_->isShown()) {
    isRunning_ = false;
    return true;
  }
  const auto deadline = std::chrono::steady_clock::now() + pauses_.longestStep;
  for (;;) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    if (completedSemaphore_->try_acquire_for(std::chrono::milliseconds(10))) {
      return true;
    }
    if (!progressWindowController_->isShown()) {
      return true;
    }
    if (std::chrono::steady_clock::now() > deadline) {
      return false;
    }
  }
}

void CheckUpdateInteractor::giveUp() {
  // The step's worker still owns its boxes and may finish later; nothing of it is read.
  Logger::shared().log(QStringLiteral("Check: a step did not end in time"));
  closeProgressWindow();
  isRunning_ = false;
  controller_.reportDeviceError(AudioDeviceError::deviceError(AudioDeviceErrorCode::kStepFailed));
}

void CheckUpdateInteractor::closeProgressWindow() {
  if (progressWindowController_ != nullptr) {
    progressWindowController_->close();
    progressWindowController_ = nullptr;
  }
}
