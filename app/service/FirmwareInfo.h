#pragma once

#include <QString>

#include <cstdint>
#include <optional>

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

  friend bool operator==(const FirmwareInfo&, const FirmwareInfo&) = default;
};

// The service's answer as the controller keeps it.
struct UpdaterInfo {
  std::optional<FirmwareInfo> firmwareInfo;
};
