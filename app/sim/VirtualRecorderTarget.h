#pragma once

#include "app/sim/VirtualRecorderConfig.h"
#include "app/sim/VirtualRecorderState.h"
#include "driver/ScsiTarget.h"

#include <QString>

#include <array>
#include <chrono>
#include <cstdio>
#include <functional>
#include <map>
#include <mutex>
#include <vector>

// The SCSI side of a virtual recorder: it answers the vendor commands the way the recorder
// does, checks command blocks and areas as a careful device would, keeps its flash areas
// and state in its folder, writes one transcript line per command and injects the
// configured faults. It does not restart itself: it tells its owner what happened.
class VirtualRecorderTarget final : public ScsiTarget {
 public:
  enum class Event {
    modeChanged,    // restart into the update mode
    updateApplied,  // restart into the normal mode with the new firmware
    vanished,       // gone for good
  };
  using EventHandler = std::function<void(Event)>;

  VirtualRecorderTarget(QString folder, VirtualRecorderConfig config, EventHandler onEvent);
  ~VirtualRecorderTarget() override;

  void execute(ScsiTask& task) override;

  // Connection state as the owner changes it: a target that is away answers every task as
  // a device that is no longer there.
  void setPresent(bool present);
  // Stops telling the owner; returns once no call to the handler is in progress.
  void disconnect();
  VirtualRecorderState state() const;

 private:
  struct Answer;
  struct Session;

  Answer handle(ScsiTask& task, const QString& name);
  Answer readRecorderItem(ScsiTask& task);
  Answer recorderModeChange(const ScsiTask& task);
  Answer updateFirmware(ScsiTask& task, const QString& name);
  Answer start(ScsiTask& task, uint32_t address, uint32_t length, int processor);
  Answer areYouReady(ScsiTask& task, int processor);
  Answer upload(const ScsiTask& task, uint32_t length, int processor);
  Answer finish(int processor);
  Answer verifyStart(uint32_t address, uint32_t length, int processor);
  Answer verify(ScsiTask& task, uint32_t length, int processor);
  Answer verifyFinish(int processor);
  Answer applyFileCopy();

  bool injectCheckCondition(const QString& name);
  void pace(const ScsiTask& task);
  void record(const ScsiTask& task);
  void saveFlash(int processor) const;
  void saveState() const;

  const QString folder_;
  const VirtualRecorderConfig config_;
  std::mutex handlerMutex_;  // held while the handler runs
  EventHandler onEvent_;

  mutable std::mutex mutex_;
  VirtualRecorderState state_;
  bool present_ = true;
  std::array<std::vector<uint8_t>, 2> flash_;
  std::unique_ptr<Session> session_;
  std::map<QString, int64_t> received_;  // per command name
  int64_t answered_ = 0;
  int64_t finishRefusals_ = 0;
  bool restartAfterVerify_ = false;
  std::FILE* transcript_ = nullptr;
  std::chrono::steady_clock::time_point dataPhaseFree_;
};
