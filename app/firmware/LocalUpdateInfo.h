#pragma once

#include "app/core/FirmwareInfo.h"
#include "app/firmware/IniFileReader.h"
#include "platform/Bundle.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <cstdint>
#include <optional>

// The local firmware description: a firmware file placed beside the application, described
// by the "FIRMWARE" section of "firmware.ini" in the folder that contains the bundle.
struct LocalUpdateInfo {
  enum class UpdateMode { scsiTransfer = 1, fileCopy = 2 };
  enum class TargetCPU { main, sub };

  static constexpr auto kFileName = "firmware.ini";
  static constexpr auto kSectionName = "FIRMWARE";
  // A description is a few lines; anything larger is not one.
  static constexpr qint64 kMaxFileSize = qint64{1} << 20;

  UpdateMode updateMode = UpdateMode::fileCopy;
  QString firmwareName;
  QString version;
  uint64_t writeAddress = 0;
  uint64_t transferLength = 0;
  TargetCPU targetCPU = TargetCPU::main;

  // The first "FIRMWARE" section as a description, or none when it is missing or incomplete.
  static std::optional<LocalUpdateInfo> fromSections(const QList<IniFileReader::Section>& sections);
  // The same from the bytes of an INI file (UTF-8, or any text with a byte-order mark);
  // none when they cannot be decoded.
  static std::optional<LocalUpdateInfo> fromData(const QByteArray& data);
  static std::optional<LocalUpdateInfo> readFile(const QString& path);

  // "MainCPU" / "SubCPU", as the INI file and the recorder name the processors.
  static QString rawValue(TargetCPU cpu);
  static QString caseName(UpdateMode mode);
  static QString caseName(TargetCPU cpu);

  // The answer the update check shows in local mode; the firmware file is firmwareName in
  // folder.
  FirmwareInfo makeFirmwareInfo(const QString& folder = Bundle::main().containingDirectory()) const;

  friend bool operator==(const LocalUpdateInfo&, const LocalUpdateInfo&) = default;
};

// The description in folder's "firmware.ini"; none, silently, when there is no usable one.
std::optional<LocalUpdateInfo> loadLocalUpdateInfo(
    const QString& folder = Bundle::main().containingDirectory());
