#pragma once

#include <QString>

// The element names of the firmware demand and of the server's firmware result. The first
// sixteen belong to the request, the rest to the answer; "version" serves both.
enum class UpdateXmlTag {
  firmwareDemand,
  revision,
  macAddress,
  time,
  language,
  application,
  type,
  version,
  os,
  countryCode,
  hardwares,
  firmupMode,
  hardwareInfo,
  hardCode,
  firmwareVersion,
  serialNo,
  firmwareResult,
  firmwares,
  firmwareInfo,
  makerCode,
  modelName,
  modelID,
  hardwareKind,
  fileName,
  fileSize,
  url,
  upDate,
  comment,
  detailURL,
  extensionComment,
};

// The element name, e.g. "firmware_demand".
QString tagName(UpdateXmlTag tag);
