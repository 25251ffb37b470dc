#pragma once

#include "app/core/FirmwareInfo.h"

#include <QByteArray>
#include <QString>
#include <QVariant>

#include <cstdint>
#include <optional>

// One simulated answer of the update service: the firmware it offers and the HTTP status the
// download of that firmware ends with.
struct MockServerResponse {
  FirmwareInfo firmwareInfo;
  int httpStatusCode = 0;

  // None when "firmwareInfo" (all twelve keys with their types) or "httpStatusCode" is
  // missing or of the wrong type.
  static std::optional<MockServerResponse> fromVariant(const QVariant& value);
  // A property-list file holding one record. A "file://" package address may be relative:
  // it is resolved against the file's folder, so that the answer names an absolute file.
  static std::optional<MockServerResponse> readFile(const QString& path);

  // The local file a "file://" package address names; none for any other address.
  std::optional<QString> packagePath() const;
  // What the simulated download delivers: nothing unless the status is 200; then the bytes
  // of the "file://" package (none when it cannot be read), else fileSize zero bytes (none
  // when that is more than a package may hold).
  std::optional<QByteArray> packageData() const;
};
