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

#include <QEventLoop>
#include <QTimer>

#include <thread>

namespace {

QString text(const char* messageId) {
  return CMLocalize::localizedString(QString::fromLatin1(messageId));
}

}  // namespace

CheckUpdateInteractor::CheckUpdateInteractor(FWUpdaterController& controller)
    : CheckUpdateInteractor(controller, Pauses{}) {}

CheckUpdateInteractor::CheckUpdateInteractor(FWUpdaterController& controller, Pauses pauses)
    : controller_(controller), pauses_(pauses) {}

CheckUpdateInteractor::~CheckUpdateInteractor() = default;

void CheckUpdateInteractor::run() {
  while (isRunning_) {
    startDetection();
    if (!waitModal()) {
      controller_.deviceDetector()->setCompletion(nullptr);
      giveUp();
      return;
    }
    evaluateDetection();
    if (!isRunning_ || controller_.targetDevice() == nullptr) {
      continue;
    }
    if (controller_.deviceInterface()->requiresModeChange(*controller_.targetDevice())) {
      changeMode();
      continue;
    }
    queryStatusAndServer();
  }
}

std::function<void(CheckUpdateInteractor::StepResult)> CheckUpdateInteractor::beginStep() {
  ++step_;
  stepDone_ = false;
  return [self = liveness_.ref(), step = step_](StepResult result) {
    self.postToMain([step, result = std::move(result)](CheckUpdateInteractor& check) {
      if (check.step_ != step || check.stepDone_) {
        return;
      }
      result(check);
      check.stepDone_ = true;
      if (check.waiting_ != nullptr) {
        check.waiting_->quit();
      }
    });
  };
}

void CheckUpdateInteractor::startDetection() {
  controller_.setTargetDevice(nullptr);
  if (controller_.mainWindowController() != nullptr) {
    progressWindowController_ = controller_.mainWindowController()->showProgress(false);
  }
  if (progressWindowController_ != nullptr) {
    progressWindowController_->setMessage(text("ID_DETECT_RECORDER"));
    progressWindowController_->setIndeterminate(true);
  }
  const auto done = beginStep();
  const auto pause = pauses_.afterDetection;
  controller_.deviceDetector()->setCompletion(
      [done, pause](const std::optional<AudioDeviceError>& detected) {
        std::this_thread::sleep_for(pause);
        done([detected](CheckUpdateInteractor& check) { check.detectorError_ = detected; });
      });
  detectorError_.reset();
  controller_.deviceDetector()->detect();
}

void CheckUpdateInteractor::evaluateDetection() {
  AudioDeviceDetector& detector = *controller_.deviceDetector();
  if (const std::optional<AudioDeviceError> error = detectorError_) {
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
    controller_.setTargetDevice(supported.front());
  }
  detector.setCompletion(nullptr);
}

void CheckUpdateInteractor::changeMode() {
  const auto done = beginStep();
  const auto pause = pauses_.afterModeChange;
  const AudioDevicePtr device = controller_.targetDevice();
  const std::shared_ptr<AudioDeviceInterface> deviceInterface = controller_.deviceInterface();
  SerialQueue& queue = controller_.deviceQueue();
  modeChangeError_.reset();
  queue.post([=, &queue] {
    deviceInterface->switchRecorderMode(
        *device, queue, [done, pause](const std::optional<AudioDeviceError>& error) {
          std::this_thread::sleep_for(pause);
          done([error](CheckUpdateInteractor& check) { check.modeChangeError_ = error; });
        });
  });
  if (!waitModal()) {
    giveUp();
    return;
  }
  closeProgressWindow();
  if (modeChangeError_) {
    controller_.reportDeviceError(*modeChangeError_);
    isRunning_ = false;
  }
}

void CheckUpdateInteractor::queryStatusAndServer() {
  const auto done = beginStep();
  const AudioDevicePtr device = controller_.targetDevice();
  const bool localMode = controller_.localUpdateInfo().has_value();
  const std::shared_ptr<AudioDeviceInterface> deviceInterface = controller_.deviceInterface();
  const std::shared_ptr<DownloadManager> manager = controller_.downloadManager();
  const auto pause = pauses_.afterFailedStatus;
  // The window may be gone by the time the worker asks for the new message: the worker
  // holds it weakly.
  const std::weak_ptr<ProgressView> window = progressWindowController_;
  // Until a result arrives, the step counts as failed (a give-up reads nothing else).
  status_ = AudioDeviceErrorCode::kStepFailed;
  networkError_.reset();
  controller_.deviceQueue().post([=] {
    const int32_t status = GetDeviceStatusInteractor().execute(*deviceInterface, *device);
    if (status != 0) {
      std::this_thread::sleep_for(pause);
      done([status](CheckUpdateInteractor& check) { check.status_ = status; });
      return;
    }
    if (localMode) {
      done([](CheckUpdateInteractor& check) { check.status_ = 0; });
      return;
    }
    TaskReceiver::postToMain([window] {
      if (const auto view = window.lock()) {
        view->setMessage(text("ID_MSG_CONECTTING_TO_SERVER"));
      }
    });
    fetchUpdateInfo(manager, *device, [done, device](const ServiceAnswer& answer) {
      done([answer, device](CheckUpdateInteractor& check) {
        check.status_ = 0;
        check.networkError_ = answer.error;
        check.storeUpdateInfoAnswer(answer, *device);
      });
    });
  });
  if (!waitModal()) {
    giveUp();
    return;
  }
  closeProgressWindow();

  if (status_ != 0) {
    controller_.showCommunicationErrorAlert(status_);
    isRunning_ = false;
    return;
  }
  if (networkError_) {
    isRunning_ = false;
    if (controller_.mainWindowController() != nullptr) {
      NetworkErrorAlert(*controller_.mainWindowController()).report(*networkError_, isRunning_);
    }
    return;
  }
  isRunning_ = false;
  if (controller_.localUpdateInfo()) {
    controller_.setUpdaterInfo(UpdaterInfo{
        controller_.localUpdateInfo()->makeFirmwareInfo(controller_.localFirmwareFolder())});
    controller_.showUpdaterAvailable(device, controller_.updaterInfo()->firmwareInfo);
    return;
  }
  const std::optional<FirmwareInfo> offered =
      controller_.updaterInfo() ? controller_.updaterInfo()->firmwareInfo : std::nullopt;
  if (offered && isVersionCodeLower(device->version, offered->version)) {
    controller_.showUpdaterAvailable(device, offered);
  } else {
    controller_.showPage({WizardPage::updaterNone, *device, std::nullopt});
  }
}

void CheckUpdateInteractor::fetchUpdateInfo(const std::shared_ptr<DownloadManager>& manager,
                                            const AudioDevice& device,
                                            const std::function<void(ServiceAnswer)>& completion) {
  const QString language = LanguageCode::text(LanguageCode::currentLanguageCode());
  const QString country = CountryCode::currentCountryCode();
  const auto root =
      FirmwareDemand().makeDemandNode(language, country, manager->requestModelCode(device),
                                      manager->requestFirmwareVersion(device));
  const QByteArray bytes = root ? KvoIBProtocolEncoder().xmlDataWithRootNode(*root) : QByteArray();
  // The connection check answers on the HTTP client's queue, where no reference to the manager
  // may be taken: the last one going there would join the queue's own thread. The request is
  // sent from the main thread instead, if the manager still lives.
  const std::weak_ptr<DownloadManager> weakManager = manager;
  manager->checkConnection([weakManager, bytes, completion](bool connected) {
    if (!connected) {
      completion({NetworkError::notConnected(), std::nullopt});
      return;
    }
    if (bytes.isEmpty()) {
      completion({NetworkError::generalError(QStringLiteral("unknown")), std::nullopt});
      return;
    }
    TaskReceiver::postToMain([weakManager, bytes, completion] {
      if (const std::shared_ptr<DownloadManager> client = weakManager.lock()) {
        client->requestUpdateInfo(bytes, [completion](const std::optional<QByteArray>& body,
                                                      const std::optional<NetworkError>& error) {
          completion({error, body});
        });
      }
    });
  });
}

void CheckUpdateInteractor::storeUpdateInfoAnswer(const ServiceAnswer& answer,
                                                  const AudioDevice& device) {
  const FirmwareDemand demand;
  std::optional<UpdaterInfo> updaterInfo = controller_.updaterInfo();
  if (answer.body && !answer.error) {
    updaterInfo = UpdaterInfo{demand.parseFirmwareResult(*answer.body)};
  }
  // A local answer describes the firmware; the server's answer, when there is one, names
  // the package.
  if (const auto local = controller_.downloadManager()->localUpdateResponse(device)) {
    std::optional<QString> fileURL;
    if (updaterInfo && updaterInfo->firmwareInfo) {
      fileURL = updaterInfo->firmwareInfo->fileURL;
    }
    updaterInfo = UpdaterInfo{demand.parseFirmwareResult(*local)};
    if (fileURL && updaterInfo->firmwareInfo) {
      updaterInfo->firmwareInfo->fileURL = *fileURL;
    }
  }
  controller_.setUpdaterInfo(std::move(updaterInfo));
}

bool CheckUpdateInteractor::waitModal() {
  // Without a window nobody can follow a further step: the check ends after this one.
  if (progressWindowController_ == nullptr || !progressWindowController_->isShown()) {
    isRunning_ = false;
  }
  if (stepDone_) {
    return true;
  }
  QEventLoop loop;
  QTimer deadline;
  deadline.setSingleShot(true);
  QObject::connect(&deadline, &QTimer::timeout, &loop, &QEventLoop::quit);
  deadline.start(pauses_.longestStep);
  waiting_ = &loop;
  loop.exec();
  waiting_ = nullptr;
  return stepDone_;
}

void CheckUpdateInteractor::giveUp() {
  // The step's result, should it still come, is dropped.
  ++step_;
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
