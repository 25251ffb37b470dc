#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>

// The answer of the firmware-version read.
struct RecorderFirmwareVersion {
  QString mainCPU;
  uint16_t musicCodecFile = 0;
  QString subCPU;  // empty when the recorder reports no sub processor

  bool operator==(const RecorderFirmwareVersion&) const = default;
};

// One product-information entry, cut from the recorder's text
// "MMMTmmmmhhhhrrrr-eeeeMMmm-ssssssssssss".
struct AudioProductInformation {
  std::optional<QString> makerCode;
  std::optional<QString> firmwareType;
  std::optional<QString> modelID;
  std::optional<QString> hardwareVersion;
  std::optional<QString> reserved;
  std::optional<QString> firmwareExtensionCode;
  std::optional<QString> firmwareMajorVersion;
  std::optional<QString> firmwareMinorVersion;
  std::optional<QString> serialNumber;

  bool operator==(const AudioProductInformation&) const = default;
};

// The count the answer announces (bytes 0 to 3, least significant first), 0 when short.
uint32_t productInformationCount(const QByteArray& answer);
// The texts of a product-information answer: UTF-16 entries after a count; an entry that
// does not decode is skipped and does not count.
QStringList productInformationTexts(const QByteArray& answer);
AudioProductInformation parseProductInformation(const QString& text);
