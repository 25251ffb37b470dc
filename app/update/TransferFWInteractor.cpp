#include "app/update/TransferFWInteractor.h"

#include "app/localize/CMLocalize.h"
#include "app/update/FWUpdaterController.h"

#include <QCoreApplication>
#include <QTimer>

#include <thread>

TransferFWInteractor::TransferFWInteractor(FWUpdaterController& controller, AudioDevicePtr device,
                                           std::shared_ptr<AudioDeviceInterface> deviceInterface,
                                           QByteArray firmwareData, FirmwareInfo firmwareInfo)
    : controller_(controller),
      device_(std::move(device)),
      deviceInterface_(std::move(deviceInterface)),
      firmwareData_(std::move(firmwareData)),
      firmwareInfo_(std::move(firmwareInfo)) {}

TransferFWInteractor::~TransferFWInteractor() {
  // Work still on the device queue uses this interactor; what it posted to the main thread
  // finds it gone and is dropped.
  controller_.deviceQueue().sync([] {});
}

void TransferFWInteractor::start() {
  controller_.setExecutingUpdate(true);
  if (controller_.mainWindowController() != nullptr) {
    progressWindow_ = controller_.mainWindowController()->showProgress(true);
  }
  if (progressWindow_ != nullptr) {
    progressWindow_->setIndeterminate(true);
    progressWindow_->setValue(0);
    progressWindow_->setMessage(
        CMLocalize::localizedString(QStringLiteral("ID_MSG_TRANSFER_FIRMWARE")));
  }
  refreshTimer_ = new QTimer(this);
  refreshTimer_->setInterval(10);
  connect(refreshTimer_, &QTimer::timeout, this, &TransferFWInteractor::tick);
  refreshTimer_->start();

  const auto self = liveness_.ref();
  const auto delay = completionDelay_;
  controller_.deviceQueue().post([this, self, delay] {
    const auto result = deviceInterface_->updateFirmware(
        *device_, firmwareData_, firmwareInfo_.fileName, [this](int64_t done, int64_t total) {
          {
            const std::scoped_lock guard(lock_);
            actTotalBytes_ = total;
          }
          const std::scoped_lock guard(lock_);
          actTransferedBytes_ = done;
        });
    self.postToMain([result](TransferFWInteractor& interactor) { interactor.complete(result); },
                    delay);
  });
}

void TransferFWInteractor::tick() {
  if (progressWindow_ == nullptr) {
    return;
  }
  int64_t total = 0;
  int64_t done = 0;
  {
    const std::scoped_lock guard(lock_);
    total = actTotalBytes_;
    done = actTransferedBytes_;
  }
  if (total < 1) {
    progressWindow_->setIndeterminate(true);
    return;
  }
  progressWindow_->setIndeterminate(false);
  progressWindow_->setValue(static_cast<double>(done) / static_cast<double>(total) * 100.0);
}

void TransferFWInteractor::complete(const std::optional<AudioDeviceError>& result) {
  refreshTimer_->stop();
  if (progressWindow_ != nullptr) {
    progressWindow_->close();
    progressWindow_ = nullptr;
  }
  if (controller_.isInterrupted()) {
    // Whatever the recorder answered last, the update goes no further.
    controller_.setExecutingUpdate(false);
    controller_.updateStepEnded();
    return;
  }
  if (!result) {
    controller_.showPage({WizardPage::updating, std::nullopt, std::nullopt});
    controller_.bringMainWindowToFront();
    controller_.setNeededConfirmToQuit(true);
    runFollowUp();
    return;
  }
  controller_.setExecutingUpdate(false);
  switch (result->kind) {
    case AudioDeviceError::Kind::diskFullError:
      controller_.showErrorAlert(QStringLiteral("ID_ERR_NOT_ENOUGH_SPACE"));
      controller_.showUpdaterAvailable(device_, firmwareInfo_);
      break;
    case AudioDeviceError::Kind::skelError:
    case AudioDeviceError::Kind::driverMissing:
    case AudioDeviceError::Kind::deviceError:
    case AudioDeviceError::Kind::interrupted:
      controller_.reportDeviceError(*result);
      controller_.showPage({WizardPage::opening, std::nullopt, std::nullopt});
      break;
  }
  controller_.bringMainWindowToFront();
  controller_.updateStepEnded();
}

void TransferFWInteractor::runFollowUp() {
  const auto self = liveness_.ref();
  controller_.deviceQueue().post([this, self] {
    const auto result = deviceInterface_->finishUpdate(*device_, firmwareData_);
    self.postToMain([result](TransferFWInteractor& interactor) {
      interactor.controller_.setExecutingUpdate(false);
      if (result) {
        interactor.controller_.reportDeviceError(*result);
      }
      interactor.controller_.updateStepEnded();
    });
  });
}
