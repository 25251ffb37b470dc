#include "app/sim/MockDeviceDefine.h"

#include "platform/PropertyList.h"

#include <QVariantList>
#include <QVariantMap>

namespace {

std::optional<int64_t> integerValue(const QVariant& value) {
  switch (value.typeId()) {
    case QMetaType::Int:
    case QMetaType::LongLong:
    case QMetaType::UInt:
      return value.toLongLong();
    case QMetaType::ULongLong:
      if (value.toULongLong() <= static_cast<qulonglong>(INT64_MAX)) {
        return value.toLongLong();
      }
      return std::nullopt;
    default:
      return std::nullopt;
  }
}

std::optional<QString> stringValue(const QVariant& value) {
  if (value.typeId() != QMetaType::QString) {
    return std::nullopt;
  }
  return value.toString();
}

}  // namespace

std::optional<MockDeviceDefine> MockDeviceDefine::fromVariant(const QVariant& value) {
  if (value.typeId() != QMetaType::QVariantMap) {
    return std::nullopt;
  }
  const QVariantMap map = value.toMap();
  const auto vendorId = integerValue(map.value(QStringLiteral("vendorId")));
  const auto usbPid = integerValue(map.value(QStringLiteral("usbPid")));
  const auto deviceId = integerValue(map.value(QStringLiteral("deviceId")));
  const auto deviceName = stringValue(map.value(QStringLiteral("deviceName")));
  const auto version = stringValue(map.value(QStringLiteral("version")));
  if (!vendorId || !usbPid || !deviceId || !deviceName || !version) {
    return std::nullopt;
  }
  // The recorder's record keeps the device ID unsigned; a negative one would wrap into a
  // model code that no recorder has.
  if (*deviceId < 0) {
    return std::nullopt;
  }
  return MockDeviceDefine{*vendorId, *usbPid, *deviceId, *deviceName, *version};
}

std::optional<QList<MockDeviceDefine>> MockDeviceDefine::listFromVariant(const QVariant& value) {
  if (value.typeId() != QMetaType::QVariantList) {
    return std::nullopt;
  }
  QList<MockDeviceDefine> result;
  for (const QVariant& item : value.toList()) {
    auto define = fromVariant(item);
    if (!define) {
      return std::nullopt;
    }
    result.append(std::move(*define));
  }
  return result;
}

std::optional<QList<MockDeviceDefine>> MockDeviceDefine::readFile(const QString& path) {
  const std::optional<QVariant> root = PropertyList::readFile(path);
  if (!root) {
    return std::nullopt;
  }
  return listFromVariant(*root);
}

AudioDevicePtr MockDeviceDefine::makeAudioDevice() const {
  auto device = std::make_shared<AudioDevice>(vendorId, usbPid);
  device->deviceID = static_cast<uint64_t>(deviceId);
  device->deviceName = deviceName;
  device->version = version;
  return device;
}
