#include "app/device/AudioDeviceInterfaceReal.h"

#include "app/core/Logger.h"
#include "platform/SerialQueue.h"
#include "platform/TaskReceiver.h"
#include "platform/volume/VolumeTable.h"

#include <QStringDecoder>

#include <semaphore>
#include <thread>
#include <utility>

namespace {

QString hex(uint64_t value) { return QString::number(value, 16).toUpper(); }

void log(const QString& line) { Logger::shared().log(line); }

bool logging() { return Logger::shared().isLoggerEnabled(); }

std::optional<QString> decodeUtf8(QByteArrayView bytes) {
  QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
  QString text = decoder.decode(bytes);
  if (decoder.hasError()) {
    return std::nullopt;
  }
  return text;
}

}  // namespace

// The pending callback of the next volume mount. Shared with the mount observer and the
// give-up timer, which may outlive a mode change.
struct AudioDeviceInterfaceReal::MountWatch {
  std::mutex lock;
  std::function<void()> didMountBlock;
  uint64_t armed = 0;  // counts armings, so that a timer gives up only its own
};

AudioDeviceInterfaceReal::AudioDeviceInterfaceReal()
    : AudioDeviceInterfaceReal(nullptr, nullptr, Waits{}) {}

AudioDeviceInterfaceReal::AudioDeviceInterfaceReal(
    std::shared_ptr<FirmwareUpdateProcedure> scsiTransfer,
    std::shared_ptr<FirmwareUpdateProcedure> fileCopy, Waits waits)
    : scsiTransfer_(std::move(scsiTransfer)),
      fileCopy_(std::move(fileCopy)),
      waits_(waits),
      watch_(std::make_shared<MountWatch>()),
      volumes_(VolumeTable::shared()) {
  observer_ = volumes_.addMountObserver([this](const MountedVolume&) { didMount(); });
}

AudioDeviceInterfaceReal::~AudioDeviceInterfaceReal() { volumes_.removeMountObserver(observer_); }

uint32_t AudioDeviceInterfaceReal::executeCommand(const AudioDevice& device,
                                                  ScsiDataDirection direction,
                                                  const ScsiCdb& command, uint8_t* buffer,
                                                  uint32_t length, uint32_t timeout) {
  std::array<uint8_t, 18> sense{};
  const IOObject* driver = device.driverEntry.get();
  uint32_t status = kScsiStatusNoConnection;
  if (timeout < 1) {
    if (logging()) {
      log(QStringLiteral("Execute Command: CDB=(%1), DataSize=%2").arg(command.text()).arg(length));
    }
    if (driver != nullptr) {
      status = executeSCSICommand(driver->registry(), driver->dataPort(), direction,
                                  command.rawBytes.data(), 16, buffer, length, sense.data(),
                                  sense.size());
    }
  } else {
    if (logging()) {
      log(QStringLiteral("Execute Command: CDB=(%1), DataSize=%2, Timeout=%3")
              .arg(command.text())
              .arg(length)
              .arg(timeout));
    }
    if (driver != nullptr) {
      status = executeSCSICommandT(driver->registry(), driver->dataPort(), direction,
                                   command.rawBytes.data(), 16, buffer, length, sense.data(),
                                   sense.size(), timeout);
    }
  }
  if (logging()) {
    log(QStringLiteral("Execute Command: Status=0x%1").arg(hex(status)));
  }
  return status;
}

uint32_t AudioDeviceInterfaceReal::readItem(const AudioDevice& device, RecorderItem item,
                                            QByteArray& answer) {
  const RecorderItemInfo info = recorderItemInfo(item);
  log(QString::fromLatin1(info.logText));
  answer = QByteArray(static_cast<qsizetype>(info.bufferLength), '\0');
  return executeCommand(device, ScsiDataDirection::dataIn,
                        ScsiCdb::readRecorderItem(item, info.allocationLength),
                        reinterpret_cast<uint8_t*>(answer.data()), info.bufferLength);
}

uint32_t AudioDeviceInterfaceReal::readModelName(const AudioDevice& device,
                                                 std::optional<QString>& name) {
  QByteArray answer;
  const uint32_t status = readItem(device, RecorderItem::modelName, answer);
  if (status != 0) {
    name.reset();
    return status;
  }
  name = decodeUtf8(QByteArrayView(answer).first(8));
  if (name) {
    log(QStringLiteral("ModelName=%1").arg(*name));
  }
  return status;
}

uint32_t AudioDeviceInterfaceReal::readFirmwareVersion(
    const AudioDevice& device, std::optional<RecorderFirmwareVersion>& version) {
  QByteArray answer;
  const uint32_t status = readItem(device, RecorderItem::firmwareVersion, answer);
  if (status != 0) {
    version.reset();
    return status;
  }
  const std::optional<QString> main = decodeUtf8(QByteArrayView(answer).first(8));
  const auto codec = static_cast<uint16_t>(static_cast<uint8_t>(answer[8]) |
                                           static_cast<uint8_t>(answer[9]) << 8U);
  const std::optional<QString> sub =
      answer[10] != 0 ? decodeUtf8(QByteArrayView(answer).sliced(10, 8)) : std::optional(QString());
  if (main && sub) {
    version = RecorderFirmwareVersion{*main, codec, *sub};
  } else {
    version.reset();
  }
  if (main) {
    log(QStringLiteral("MainCPU=%1").arg(*main));
  }
  if (sub) {
    log(QStringLiteral("SubCPU=%1").arg(*sub));
  }
  log(QStringLiteral("MusicCodecFile=0x%1").arg(hex(codec)));
  return status;
}

uint32_t AudioDeviceInterfaceReal::readSerialID(const AudioDevice& device,
                                                std::optional<QString>& serial) {
  QByteArray answer;
  const uint32_t status = readItem(device, RecorderItem::serialID, answer);
  if (status != 0) {
    serial.reset();
    return status;
  }
  const auto length = static_cast<uint8_t>(answer[0]);
  serial =
      length == 0 ? std::optional(QString()) : decodeUtf8(QByteArrayView(answer).sliced(1, length));
  if (serial) {
    log(QStringLiteral("SerialID=%1").arg(*serial));
  }
  return status;
}

uint32_t AudioDeviceInterfaceReal::readDeviceID(const AudioDevice& device,
                                                std::optional<uint32_t>& deviceID) {
  QByteArray answer;
  const uint32_t status = readItem(device, RecorderItem::deviceID, answer);
  if (status != 0) {
    deviceID.reset();
    return status;
  }
  uint32_t value = 0;
  for (int i = 0; i < 4; ++i) {
    value = value << 8U | static_cast<uint8_t>(answer[i]);
  }
  deviceID = value;
  log(QStringLiteral("DeviceID=0x%1").arg(hex(value).rightJustified(8, QLatin1Char('0'))));
  return status;
}

uint32_t AudioDeviceInterfaceReal::readProductInformation(
    const AudioDevice& device, std::optional<std::vector<AudioProductInformation>>& list) {
  QByteArray answer;
  const uint32_t status = readItem(device, RecorderItem::productInformation, answer);
  if (status != 0) {
    return status;
  }
  log(QStringLiteral("NumOfDevices=%1").arg(productInformationCount(answer)));
  std::vector<AudioProductInformation> parsed;
  for (const QString& text : productInformationTexts(answer)) {
    parsed.push_back(parseProductInformation(text));
  }
  list = std::move(parsed);
  return 0;
}

uint32_t AudioDeviceInterfaceReal::readDeviceStatus(const AudioDevice& device, uint8_t* buffer,
                                                    uint32_t length) {
  log(QString::fromLatin1(recorderItemInfo(RecorderItem::deviceStatus).logText));
  const uint32_t status =
      executeCommand(device, ScsiDataDirection::dataIn,
                     ScsiCdb::readRecorderItem(RecorderItem::deviceStatus, 8), buffer, length);
  if (status == 0 && logging()) {
    QString bytes;
    for (uint32_t i = 0; i < 8 && i < length; ++i) {
      bytes += QStringLiteral("%1 ").arg(buffer[i], 2, 16, QLatin1Char('0')).toUpper();
    }
    log(QStringLiteral("DeviceStatus=%1").arg(bytes));
  }
  return status;
}

bool AudioDeviceInterfaceReal::requiresModeChange(const AudioDevice& device) {
  std::array<uint8_t, 8> answer{};
  return readDeviceStatus(device, answer.data(), answer.size()) == 0 && answer[6] == 3;
}

std::optional<AudioDeviceError> AudioDeviceInterfaceReal::updateFirmware(AudioDevice& device,
                                                                         const QByteArray& firmware,
                                                                         const QString& fileName,
                                                                         const Progress& progress) {
  const auto& procedure =
      device.updateType == AudioDevice::UpdateType::scsiTransfer ? scsiTransfer_ : fileCopy_;
  if (procedure == nullptr) {
    return AudioDeviceError::deviceError(AudioDeviceErrorCode::kStepFailed);
  }
  return procedure->update(*this, device, firmware, fileName, progress);
}

std::optional<AudioDeviceError> AudioDeviceInterfaceReal::finishUpdate(AudioDevice& device,
                                                                       const QByteArray& firmware) {
  const auto& procedure =
      device.updateType == AudioDevice::UpdateType::scsiTransfer ? scsiTransfer_ : fileCopy_;
  if (procedure == nullptr) {
    return AudioDeviceError::deviceError(AudioDeviceErrorCode::kStepFailed);
  }
  return procedure->finish(*this, device, firmware);
}

void AudioDeviceInterfaceReal::switchRecorderMode(AudioDevice& device, SerialQueue& queue,
                                                  Completion completion) {
  const QList<QUrl> volumes = findRecorderVolumes(device);
  uint64_t armed = 0;
  if (!volumes.isEmpty()) {
    armed = setDidMountBlock(
        [&queue, completion] { queue.async([completion] { completion(std::nullopt); }); });
    unmountVolumes(volumes);
  }
  const auto mode = RecorderMode::update;
  log(QStringLiteral("Send: RecorderModeChange: Mode=0x%1").arg(hex(static_cast<uint8_t>(mode))));
  const uint32_t status = executeCommand(device, ScsiDataDirection::noData,
                                         ScsiCdb::recorderModeChange(mode), nullptr, 0);
  if (device.driverEntry != nullptr) {
    device.driverEntry->close();
  }
  if (status != 0) {
    queue.async([completion, status] {
      completion(AudioDeviceError::deviceError(static_cast<int32_t>(status)));
    });
    return;
  }
  if (!volumes.isEmpty()) {
    // A recorder that never mounts a volume again must not leave the user waiting for
    // ever: after a bounded wait the change is given up.
    const std::weak_ptr<MountWatch> weak = watch_;
    const auto remount = waits_.remount;
    TaskReceiver::postToMain(
        [weak, armed, &queue, completion] {
          const auto watch = weak.lock();
          if (watch == nullptr) {
            return;
          }
          {
            const std::scoped_lock guard(watch->lock);
            if (watch->armed != armed || !watch->didMountBlock) {
              return;
            }
            watch->didMountBlock = nullptr;
          }
          log(QStringLiteral("Mode change: no volume mounted again"));
          queue.async([completion] {
            completion(AudioDeviceError::deviceError(AudioDeviceErrorCode::kStepFailed));
          });
        },
        remount);
    return;
  }
  std::this_thread::sleep_for(waits_.settleWithoutVolume);
  queue.async([completion] { completion(std::nullopt); });
}
uint64_t AudioDeviceInterfaceReal::setDidMountBlock(std::function<void()> block) {
  const std::scoped_lock guard(watch_->lock);
  watch_->didMountBlock = std::move(block);
  return ++watch_->armed;
}

void AudioDeviceInterfaceReal::didMount() {
  // Taken in one step: a block that the next mode change arms meanwhile stays for its mount.
  std::function<void()> block;
  {
    const std::scoped_lock guard(watch_->lock);
    block = std::exchange(watch_->didMountBlock, nullptr);
  }
  if (block) {
    block();
  }
}

QList<QUrl> AudioDeviceInterfaceReal::findRecorderVolumes(const AudioDevice& device) {
  QStringList names;
  if (device.serviceEntry != nullptr) {
    Registry& registry = device.serviceEntry->registry();
    for (const RegistryEntryRef& child : registry.children(device.serviceEntry->object())) {
      recorderBSDNames(IOObject(device.serviceEntry->sharedRegistry(), child), names);
    }
  }
  QList<QUrl> result;
  VolumeTable& table = VolumeTable::shared();
  for (const MountedVolume& volume : table.mountedVolumes()) {
    const std::optional<std::string> source = table.sourceOf(volume.mountPoint);
    QString name;
    if (source) {
      const std::optional<QString> decoded = decodeUtf8(QByteArrayView(*source));
      name = decoded.value_or(QString());
      while (name.startsWith(QChar(0))) {
        name.remove(0, 1);
      }
      while (name.endsWith(QChar(0))) {
        name.chop(1);
      }
      name = name.section(QLatin1Char('/'), -1);
    }
    if (!name.isEmpty() && names.contains(name)) {
      result.append(QUrl::fromLocalFile(QString::fromStdString(volume.mountPoint)));
    }
  }
  return result;
}

void AudioDeviceInterfaceReal::recorderBSDNames(const IOObject& entry, QStringList& names) {
  const std::optional<RegistryProperties> properties = entry.properties();
  if (!properties) {
    return;
  }
  const auto interfaceClass = properties->find("bInterfaceClass");
  if (interfaceClass == properties->end() ||
      !std::holds_alternative<int64_t>(interfaceClass->second) ||
      std::get<int64_t>(interfaceClass->second) != 8) {
    return;
  }
  Registry& registry = entry.registry();
  const auto storage = registry.findChildren(entry.object(), [](const RegistryEntry& child) {
    return child.registryName() == "IOUSBMassStorageClass" ||
           child.registryName() == "IOUSBMassStorageDriver";
  });
  if (storage.empty()) {
    return;
  }
  const auto partitions = registry.findChildren(storage.front(), [](const RegistryEntry& child) {
    const auto whole = child.property("Whole");
    return child.className() == "IOMedia" && whole && std::holds_alternative<bool>(*whole) &&
           !std::get<bool>(*whole) && child.property("BSD Name").has_value();
  });
  for (const RegistryEntryRef& partition : partitions) {
    if (partition->isInactive()) {
      continue;
    }
    const auto name = partition->property("BSD Name");
    if (name && std::holds_alternative<std::string>(*name)) {
      names.append(QString::fromStdString(std::get<std::string>(*name)));
    }
  }
}

void AudioDeviceInterfaceReal::unmountVolumes(const QList<QUrl>& volumes) const {
  for (const QUrl& url : volumes) {
    // Shared with the completion, which may come after the wait was given up.
    struct Pending {
      std::binary_semaphore done{0};
      std::mutex lock;
      bool givenUp = false;
    };
    auto pending = std::make_shared<Pending>();
    const QString text = url.toString();
    VolumeTable::shared().unmount(
        url.toLocalFile().toStdString(), [pending, text](std::optional<std::string> error) {
          const std::scoped_lock guard(pending->lock);
          if (pending->givenUp) {
            return;
          }
          if (error) {
            log(QStringLiteral("Unmount Volume: Failed, URL=%1, Message=%2")
                    .arg(text, QString::fromStdString(*error)));
          } else {
            log(QStringLiteral("Unmount Volume: OK, URL=%1").arg(text));
          }
          pending->done.release();
        });
    if (!pending->done.try_acquire_for(waits_.unmount)) {
      const std::scoped_lock guard(pending->lock);
      if (!pending->givenUp && !pending->done.try_acquire()) {
        pending->givenUp = true;
        log(QStringLiteral("Unmount Volume: Failed, URL=%1, Message=%2")
                .arg(text, QStringLiteral("no answer in time")));
      }
    }
  }
}
