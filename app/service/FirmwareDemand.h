#pragma once

#include "app/core/FirmwareInfo.h"
#include "app/service/KvoIBProtocolNode.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <optional>

// The update-information request ("firmware_demand") with the fixed values it always
// carries, and the reading of the server's answer ("firmware_result").
class FirmwareDemand final {
 public:
  // The fixed values; the application version comes from the bundle.
  FirmwareDemand();
  explicit FirmwareDemand(QString versionCode);

  QString revision = QStringLiteral("0001");
  QString macAddress = QStringLiteral("00-00-00-00-00-00");
  QString application = QStringLiteral("FWUT");
  QString type = QStringLiteral("0000");
  QString os = QStringLiteral("MAC");
  QString firmupMode = QStringLiteral("1");
  QString applicationVersion;

  KvoIBProtocolNodePtr makeDemandNode(const QString& language, const QString& countryCode,
                                      const QString& modelCode, const QString& firmwareVersion,
                                      const QDateTime& now = QDateTime::currentDateTime()) const;

  // None for a document that is not a well-formed "firmware_result" naming exactly one
  // "firmware_info" inside "firmwares".
  std::optional<FirmwareInfo> parseFirmwareResult(const QByteArray& data) const;
};
