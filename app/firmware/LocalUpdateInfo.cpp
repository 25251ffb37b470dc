#include "app/firmware/LocalUpdateInfo.h"

#include "platform/BoundedRead.h"

#include <QFileInfo>
#include <QStringDecoder>
#include <QUrl>

namespace {

const IniFileReader::Section* firstSection(const QList<IniFileReader::Section>& sections,
                                           const QString& name) {
  for (const IniFileReader::Section& section : sections) {
    if (section.name == name) {
      return &section;
    }
  }
  return nullptr;
}

std::optional<QString> decodeText(const QByteArray& data) {
  const std::optional<QStringConverter::Encoding> marked = QStringConverter::encodingForData(data);
  QStringDecoder decoder(marked.value_or(QStringConverter::Utf8));
  QString text = decoder.decode(data);
  if (decoder.hasError()) {
    return std::nullopt;
  }
  return text;
}

}  // namespace

std::optional<LocalUpdateInfo> LocalUpdateInfo::fromSections(
    const QList<IniFileReader::Section>& sections) {
  const IniFileReader::Section* section = firstSection(sections, QString::fromLatin1(kSectionName));
  if (section == nullptr) {
    return std::nullopt;
  }
  const std::optional<int64_t> mode = section->intValue(QStringLiteral("Mode"));
  if (!mode || (*mode != 1 && *mode != 2)) {
    return std::nullopt;
  }
  const auto name = section->parameters.constFind(QStringLiteral("Name"));
  const auto version = section->parameters.constFind(QStringLiteral("Version"));
  if (name == section->parameters.constEnd() || version == section->parameters.constEnd()) {
    return std::nullopt;
  }
  LocalUpdateInfo info;
  info.firmwareName = *name;
  info.version = *version;
  if (*mode == 2) {
    info.updateMode = UpdateMode::fileCopy;
    return info;
  }
  info.updateMode = UpdateMode::scsiTransfer;
  const std::optional<uint64_t> address = section->hexValue(QStringLiteral("WriteAddress"));
  const std::optional<uint64_t> length = section->hexValue(QStringLiteral("TransferLength"));
  const QString cpu = section->parameters.value(QStringLiteral("TargetCPU"));
  if (!address || !length || *length == 0) {
    return std::nullopt;
  }
  if (cpu == rawValue(TargetCPU::main)) {
    info.targetCPU = TargetCPU::main;
  } else if (cpu == rawValue(TargetCPU::sub)) {
    info.targetCPU = TargetCPU::sub;
  } else {
    return std::nullopt;
  }
  info.writeAddress = *address;
  info.transferLength = *length;
  return info;
}

std::optional<LocalUpdateInfo> LocalUpdateInfo::fromData(const QByteArray& data) {
  const std::optional<QString> text = decodeText(data);
  if (!text) {
    return std::nullopt;
  }
  return fromSections(IniFileReader::parse(*text));
}

std::optional<LocalUpdateInfo> LocalUpdateInfo::readFile(const QString& path) {
  const std::optional<QByteArray> data = readFileAtMost(path, kMaxFileSize);
  if (!data) {
    return std::nullopt;
  }
  return fromData(*data);
}

QString LocalUpdateInfo::rawValue(TargetCPU cpu) {
  return cpu == TargetCPU::main ? QStringLiteral("MainCPU") : QStringLiteral("SubCPU");
}

QString LocalUpdateInfo::caseName(UpdateMode mode) {
  return mode == UpdateMode::scsiTransfer ? QStringLiteral("scsiTransfer")
                                          : QStringLiteral("fileCopy");
}

QString LocalUpdateInfo::caseName(TargetCPU cpu) {
  return cpu == TargetCPU::main ? QStringLiteral("main") : QStringLiteral("sub");
}

FirmwareInfo LocalUpdateInfo::makeFirmwareInfo(const QString& folder) const {
  const QFileInfo file(folder + QLatin1Char('/') + firmwareName);
  FirmwareInfo firmware;
  firmware.makerCode = QStringLiteral("KVO");
  firmware.hardwareKind = QStringLiteral("E");
  firmware.version = version;
  firmware.fileName = firmwareName;
  // Only a regular file has a firmware size; the download reports anything else as missing.
  firmware.fileSize = file.isFile() ? file.size() : 0;
  firmware.fileURL = QUrl::fromLocalFile(file.absoluteFilePath()).toString(QUrl::FullyEncoded);
  return firmware;
}

std::optional<LocalUpdateInfo> loadLocalUpdateInfo(const QString& folder) {
  return LocalUpdateInfo::readFile(folder + QLatin1Char('/') +
                                   QLatin1String(LocalUpdateInfo::kFileName));
}
