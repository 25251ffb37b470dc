#include "app/device/GetDeviceStatusInteractor.h"
#include "app/device/RecorderVolumes.h"
#include "app/tool/RecorderSession.h"
#include "app/tool/ToolCommand.h"

namespace {

using Tool::hex;

// A recorder's text may carry zero bytes (a padded model name); they print as \0.
QString printable(const QString& text) {
  QString shown = text;
  return shown.replace(QChar(0), QStringLiteral("\\0"));
}

void printDevice(const AudioDevice& device) {
  Tool::printField(QStringLiteral("usbVendorID"),
                   hex(static_cast<uint64_t>(device.usbVendorID), 4));
  Tool::printField(QStringLiteral("usbPID"), hex(static_cast<uint64_t>(device.usbPID), 4));
  Tool::printField(QStringLiteral("deviceID"), hex(device.deviceID, 4));
  Tool::printField(QStringLiteral("deviceName"), printable(device.deviceName));
  Tool::printField(QStringLiteral("version"), device.version);
  Tool::printField(QStringLiteral("serialID"), printable(device.serialID));
  Tool::printField(QStringLiteral("modelID"), QString::number(device.modelID));
  Tool::printField(QStringLiteral("updateType"),
                   device.updateType == AudioDevice::UpdateType::scsiTransfer
                       ? QStringLiteral("scsiTransfer")
                       : QStringLiteral("fileCopy"));
  Tool::printField(QStringLiteral("targetProcessor"),
                   device.targetProcessor == UpdateFirmwareTargetProcessor::dsp
                       ? QStringLiteral("dsp")
                       : QStringLiteral("sub"));
  if (const auto& address = device.transferAddress) {
    Tool::printField(QStringLiteral("transferAddress"),
                     QStringList{hex(address->mainCPUAddress, 8), hex(address->mainCPULength, 8),
                                 hex(address->subCPUAddress, 8), hex(address->subCPULength, 8)}
                         .join(QLatin1Char(',')));
  } else {
    Tool::printField(QStringLiteral("transferAddress"), QStringLiteral("none"));
  }
}

void printDevices(const QString& name, const std::vector<AudioDevicePtr>& devices) {
  Tool::printField(name, QString::number(devices.size()));
  for (const AudioDevicePtr& device : devices) {
    Tool::printField(QStringLiteral("vendorID"),
                     hex(static_cast<uint64_t>(device->usbVendorID), 4));
    Tool::printField(QStringLiteral("productID"), hex(static_cast<uint64_t>(device->usbPID), 4));
  }
}

// Runs `body` on a session made from `given`, which may hold only the session's options.
int withSession(const QString& command, const QStringList& given, int (*body)(RecorderSession&)) {
  QStringList arguments = given;
  int status = Tool::kSuccess;
  RecorderSession session(arguments, &status);
  if (status != Tool::kSuccess) {
    return status;
  }
  if (!arguments.isEmpty()) {
    return Tool::usageError(
        QStringLiteral("%1 takes only --virtual FOLDER and --log").arg(command));
  }
  return body(session);
}

int detectOn(RecorderSession& session) {
  if (const auto error = session.detect()) {
    return RecorderSession::reportError(*error);
  }
  printDevices(QStringLiteral("devices"), session.detector().devices());
  printDevices(QStringLiteral("supportedDevices"), session.detector().supportedDevices());
  return Tool::kSuccess;
}

int identifyOn(RecorderSession& session) {
  AudioDevicePtr device = session.chooseRecorder();
  if (device != nullptr) {
    device = session.prepareForUpdate(device);
  }
  if (device == nullptr) {
    return Tool::kFailure;
  }
  int32_t result = 0;
  session.deviceQueue().sync(
      [&] { result = GetDeviceStatusInteractor().execute(session.deviceInterface(), *device); });
  printDevice(*device);
  Tool::printField(QStringLiteral("status"), QString::number(result));
  return result == 0 ? Tool::kSuccess : Tool::kFailure;
}

int volumesOn(RecorderSession& session) {
  const AudioDevicePtr device = session.chooseRecorder();
  if (device == nullptr) {
    return Tool::kFailure;
  }
  QList<QUrl> found;
  session.deviceQueue().sync([&] { found = RecorderVolumes::find(*device); });
  for (const QUrl& url : found) {
    Tool::printLine(url.toLocalFile());
  }
  return Tool::kSuccess;
}

int detect(const QStringList& given) {
  return withSession(QStringLiteral("detect"), given, detectOn);
}
int identify(const QStringList& given) {
  return withSession(QStringLiteral("identify"), given, identifyOn);
}
int volumes(const QStringList& given) {
  return withSession(QStringLiteral("volumes"), given, volumesOn);
}

}  // namespace

QList<ToolCommand> recorderCommands() {
  const QString usage = QStringLiteral("[--virtual FOLDER]... [--log]");
  return {
      {QStringLiteral("detect"), usage,
       QStringLiteral("the attached recorders, then the supported ones (waits 4 s on real "
                      "hardware); --log shows the log lines on stderr"),
       detect},
      {QStringLiteral("identify"), usage,
       QStringLiteral("detects the one recorder, switches it to its update mode when it needs "
                      "that, reads its identity and prints the record, then status=N"),
       identify},
      {QStringLiteral("volumes"), usage,
       QStringLiteral("the mounted volumes of the one attached recorder, one path a line"),
       volumes},
  };
}
