#include "app/core/FirmwareInfo.h"

#include <array>

namespace {

using StringField = QString FirmwareInfo::*;

// The string fields with their keys, in field order; fileSize sits after "fileName".
constexpr qsizetype kFileSizePosition = 6;
const std::array<std::pair<const char*, StringField>, 11>& stringFields() {
  static const std::array<std::pair<const char*, StringField>, 11> kFields = {{
      {"makerCode", &FirmwareInfo::makerCode},
      {"modelName", &FirmwareInfo::modelName},
      {"modelID", &FirmwareInfo::modelID},
      {"hardwareKind", &FirmwareInfo::hardwareKind},
      {"version", &FirmwareInfo::version},
      {"fileName", &FirmwareInfo::fileName},
      {"fileURL", &FirmwareInfo::fileURL},
      {"updateDate", &FirmwareInfo::updateDate},
      {"comment", &FirmwareInfo::comment},
      {"detailURL", &FirmwareInfo::detailURL},
      {"extensionComment", &FirmwareInfo::extensionComment},
  }};
  return kFields;
}

bool isInteger(const QVariant& value) {
  switch (value.typeId()) {
    case QMetaType::Int:
    case QMetaType::LongLong:
    case QMetaType::UInt:
      return true;
    case QMetaType::ULongLong:
      return value.toULongLong() <= static_cast<qulonglong>(INT64_MAX);
    default:
      return false;
  }
}

}  // namespace

QVariantMap FirmwareInfo::keyedArchive() const {
  QVariantMap archive;
  for (const auto& [key, field] : stringFields()) {
    archive.insert(QString::fromLatin1(key), this->*field);
  }
  archive.insert(QStringLiteral("fileSize"), static_cast<qlonglong>(fileSize));
  return archive;
}

std::optional<FirmwareInfo> FirmwareInfo::fromKeyedArchive(const QVariant& archive) {
  if (archive.typeId() != QMetaType::QVariantMap) {
    return std::nullopt;
  }
  const QVariantMap map = archive.toMap();
  FirmwareInfo info;
  for (const auto& [key, field] : stringFields()) {
    const QVariant value = map.value(QString::fromLatin1(key));
    if (value.typeId() != QMetaType::QString) {
      return std::nullopt;
    }
    info.*field = value.toString();
  }
  const QVariant size = map.value(QStringLiteral("fileSize"));
  if (!isInteger(size)) {
    return std::nullopt;
  }
  info.fileSize = size.toLongLong();
  return info;
}

QList<std::pair<QString, QString>> FirmwareInfo::fields() const {
  QList<std::pair<QString, QString>> result;
  for (const auto& [key, field] : stringFields()) {
    result.append({QString::fromLatin1(key), this->*field});
  }
  result.insert(kFileSizePosition, {QStringLiteral("fileSize"), QString::number(fileSize)});
  return result;
}
