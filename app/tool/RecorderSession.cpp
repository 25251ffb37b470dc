#include "app/tool/RecorderSession.h"

#include "app/core/Logger.h"
#include "app/firmware/FileCopyProcedure.h"
#include "app/firmware/ScsiTransferProcedure.h"
#include "app/tool/ToolCommand.h"
#include "app/tool/VirtualOption.h"
#include "driver/DriverIdentity.h"
#include "platform/TaskReceiver.h"

#include <QEventLoop>

#include <cstdio>

namespace {

class StderrLogSink final : public LogSink {
 public:
  void write(const QString& /*category*/, const QString& message) override {
    std::fprintf(stderr, "%s\n", message.toUtf8().constData());
  }
};

// Runs the main loop until `start` has called its `done`; mount notifications arrive there.
template <typename Result>
Result waitFor(const std::function<void(std::function<void(Result)>)>& start) {
  QEventLoop loop;
  std::optional<Result> result;
  start([&loop, &result](Result value) {
    TaskReceiver::postToMain([&loop, &result, value] {
      result = value;
      loop.quit();
    });
  });
  loop.exec();
  return *result;
}

}  // namespace

RecorderSession::RecorderSession(QStringList& arguments, int* exitStatus) {
  recorders_ = takeVirtualRecorders(arguments, exitStatus);
  if (arguments.removeAll(QStringLiteral("--log")) > 0) {
    Logger::shared().setSink(std::make_shared<StderrLogSink>());
    Logger::shared().setLoggerEnabled(true);
  }
  // Virtual recorders are in the registry at once; real ones get the application's wait.
  detector_ = std::make_unique<AudioDeviceDetectorReal>(
      recorders_ != nullptr ? std::chrono::milliseconds(0) : AudioDeviceDetectorReal::kScanDelay);
  interface_ = std::make_unique<AudioDeviceInterfaceReal>(std::make_shared<ScsiTransferProcedure>(),
                                                          std::make_shared<FileCopyProcedure>(),
                                                          AudioDeviceInterfaceReal::Waits{});
}

RecorderSession::~RecorderSession() {
  queue_.sync([] {});
  Logger::shared().setLoggerEnabled(false);
  Logger::shared().setSink(nullptr);
}

std::optional<AudioDeviceError> RecorderSession::detect() {
  using Result = std::optional<AudioDeviceError>;
  const auto error = waitFor<Result>([this](const std::function<void(Result)>& done) {
    detector_->setCompletion(done);
    detector_->detect();
  });
  detector_->setCompletion(nullptr);
  return error;
}

AudioDevicePtr RecorderSession::chooseRecorder() {
  if (const auto error = detect()) {
    reportError(*error);
    return nullptr;
  }
  const auto devices = detector_->devices();
  const auto supported = detector_->supportedDevices();
  if (devices.empty()) {
    Tool::failure(QStringLiteral("no recorder is attached"));
  } else if (devices.size() > 1) {
    Tool::failure(QStringLiteral("%1 recorders are attached; attach only one").arg(devices.size()));
  } else if (supported.size() != 1) {
    Tool::failure(QStringLiteral("the attached recorder is not a supported model"));
  } else {
    return supported.front();
  }
  return nullptr;
}

AudioDevicePtr RecorderSession::prepareForUpdate(AudioDevicePtr device) {
  bool needed = false;
  queue_.sync([&] { needed = interface_->requiresModeChange(*device); });
  if (!needed) {
    return device;
  }
  using Result = std::optional<AudioDeviceError>;
  const auto error = waitFor<Result>([&](const std::function<void(Result)>& done) {
    queue_.post([this, device, done] { interface_->switchRecorderMode(*device, queue_, done); });
  });
  if (error) {
    reportError(*error);
    return nullptr;
  }
  return chooseRecorder();
}

int RecorderSession::reportError(const AudioDeviceError& error) {
  switch (error.kind) {
    case AudioDeviceError::Kind::deviceError:
      Tool::printField(QStringLiteral("error"), QStringLiteral("deviceError"));
      Tool::printField(QStringLiteral("code"), QString::number(error.code));
      return Tool::failure(
          QStringLiteral("the recorder could not be reached (code %1)").arg(error.code));
    case AudioDeviceError::Kind::diskFullError:
      Tool::printField(QStringLiteral("error"), QStringLiteral("diskFullError"));
      return Tool::failure(QStringLiteral("the recorder has too little free space"));
    case AudioDeviceError::Kind::skelError:
      Tool::printField(QStringLiteral("error"), QStringLiteral("skelError"));
      return Tool::failure(
          QStringLiteral("a recorder's driver is installed but its device cannot be opened"));
    case AudioDeviceError::Kind::driverMissing:
      // Scripts read the failed step's code, as before the cause was told apart.
      Tool::printField(QStringLiteral("error"), QStringLiteral("deviceError"));
      Tool::printField(QStringLiteral("code"), QString::number(error.code));
      return Tool::failure(
          QStringLiteral(
              "a recorder is connected but has no driver entry: the device rule %1 is not "
              "installed "
              "(install the package, or the rule and reload udev's rules, then reconnect the "
              "recorder)")
              .arg(QLatin1String(DriverIdentity::kRulesFileName.data(),
                                 static_cast<qsizetype>(DriverIdentity::kRulesFileName.size()))));
    case AudioDeviceError::Kind::interrupted:
      Tool::printField(QStringLiteral("error"), QStringLiteral("interrupted"));
      return Tool::failure(QStringLiteral("the update was interrupted"));
  }
  return Tool::kFailure;
}
