#pragma once

#include "app/core/FirmwareInfo.h"
#include "app/device/AudioDeviceInterface.h"
#include "app/update/UpdaterUserInterface.h"
#include "platform/Liveness.h"

#include <QByteArray>
#include <QObject>

#include <chrono>
#include <memory>
#include <mutex>

class FWUpdaterController;
class QTimer;

// Writes the downloaded firmware into the recorder on the device queue while the progress
// window shows how far it has come, then presents the outcome and runs the follow-up step
// (finish and read-back). Lives on the main thread.
class TransferFWInteractor final : public QObject {
 public:
  TransferFWInteractor(FWUpdaterController& controller, AudioDevicePtr device,
                       std::shared_ptr<AudioDeviceInterface> deviceInterface,
                       QByteArray firmwareData, FirmwareInfo firmwareInfo);
  ~TransferFWInteractor() override;
  TransferFWInteractor(const TransferFWInteractor&) = delete;
  TransferFWInteractor& operator=(const TransferFWInteractor&) = delete;

  void start();
  // Tests shorten the pause between the end of the transfer and its presentation.
  void setCompletionDelay(std::chrono::milliseconds delay) { completionDelay_ = delay; }

 private:
  void tick();
  void complete(const std::optional<AudioDeviceError>& result);
  void runFollowUp();

  FWUpdaterController& controller_;
  AudioDevicePtr device_;
  std::shared_ptr<AudioDeviceInterface> deviceInterface_;
  QByteArray firmwareData_;
  FirmwareInfo firmwareInfo_;
  std::mutex lock_;  // guards the two counters
  int64_t actTotalBytes_ = 0;
  int64_t actTransferedBytes_ = 0;
  std::unique_ptr<ProgressView> progressWindow_;
  QTimer* refreshTimer_ = nullptr;
  std::chrono::milliseconds completionDelay_{500};
  // Tasks posted from the device queue find out that this interactor has gone.
  Liveness<TransferFWInteractor> liveness_{*this};
};
