#pragma once

#include <QList>
#include <QString>
#include <QVariant>
#include <QVariantMap>

#include <cstdint>
#include <optional>
#include <utility>

// One firmware offered by the update service, or built from a local description.
struct FirmwareInfo {
  QString makerCode;
  QString modelName;
  QString modelID;
  QString hardwareKind;
  QString version;  // a version code of at most four characters
  QString fileName;
  int64_t fileSize = 0;
  QString fileURL;
  QString updateDate;
  QString comment;
  QString detailURL;
  QString extensionComment;

  // The keyed form: one key per field, named as the field; fileSize an integer, every other
  // field a string. Reading requires every key with its type.
  QVariantMap keyedArchive() const;
  static std::optional<FirmwareInfo> fromKeyedArchive(const QVariant& archive);

  // (field name, value as text) in field order, as tools print them.
  QList<std::pair<QString, QString>> fields() const;

  friend bool operator==(const FirmwareInfo&, const FirmwareInfo&) = default;
};

// The service's answer as the controller keeps it.
struct UpdaterInfo {
  std::optional<FirmwareInfo> firmwareInfo;
};
