#include "app/device/RecorderVolumes.h"

#include "app/core/Logger.h"
#include "app/device/IOObject.h"
#include "platform/volume/VolumeTable.h"

#include <QStringDecoder>

#include <memory>
#include <mutex>
#include <semaphore>

namespace RecorderVolumes {
namespace {

void log(const QString& line) { Logger::shared().log(line); }

// The last component of a mount's source ("/dev/sdb1" gives "sdb1"); empty when the source
// is not UTF-8.
QString sourceName(const std::string& source) {
  QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
  QString name = decoder.decode(QByteArrayView(source));
  if (decoder.hasError()) {
    return {};
  }
  while (name.startsWith(QChar(0))) {
    name.remove(0, 1);
  }
  while (name.endsWith(QChar(0))) {
    name.chop(1);
  }
  return name.section(QLatin1Char('/'), -1);
}

}  // namespace

QList<QUrl> find(const AudioDevice& device) {
  QStringList names;
  if (device.serviceEntry != nullptr) {
    Registry& registry = device.serviceEntry->registry();
    for (const RegistryEntryRef& child : registry.children(device.serviceEntry->object())) {
      appendBSDNames(IOObject(device.serviceEntry->sharedRegistry(), child), names);
    }
  }
  QList<QUrl> result;
  VolumeTable& table = VolumeTable::shared();
  for (const MountedVolume& volume : table.mountedVolumes()) {
    const std::optional<std::string> source = table.sourceOf(volume.mountPoint);
    const QString name = source ? sourceName(*source) : QString();
    if (!name.isEmpty() && names.contains(name)) {
      result.append(QUrl::fromLocalFile(QString::fromStdString(volume.mountPoint)));
    }
  }
  return result;
}

void appendBSDNames(const IOObject& entry, QStringList& names) {
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

void unmount(const QList<QUrl>& volumes, std::chrono::milliseconds wait) {
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
    if (!pending->done.try_acquire_for(wait)) {
      const std::scoped_lock guard(pending->lock);
      if (!pending->givenUp && !pending->done.try_acquire()) {
        pending->givenUp = true;
        log(QStringLiteral("Unmount Volume: Failed, URL=%1, Message=%2")
                .arg(text, QStringLiteral("no answer in time")));
      }
    }
  }
}

}  // namespace RecorderVolumes
