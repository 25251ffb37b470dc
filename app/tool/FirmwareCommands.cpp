#include "app/firmware/KvoUnZip.h"
#include "app/firmware/LocalFileManager.h"
#include "app/firmware/LocalUpdateInfo.h"
#include "app/tool/ToolCommand.h"

#include <QFileInfo>

#include <cstdio>

namespace {

int zipSize(const QStringList& arguments) {
  if (arguments.size() != 1) {
    return Tool::usageError(QStringLiteral("expected ARCHIVE"));
  }
  if (!QFileInfo(arguments[0]).isReadable()) {
    return Tool::failure(QStringLiteral("cannot read \"%1\"").arg(arguments[0]));
  }
  Tool::printLine(QString::number(KvoUnZip::totalFileSizeInZipFileAtPath(arguments[0])));
  return Tool::kSuccess;
}

int unpack(const QStringList& arguments) {
  if (arguments.size() != 2) {
    return Tool::usageError(QStringLiteral("expected ARCHIVE DIR"));
  }
  LocalFileManager fileManager;
  const QStringList written = KvoUnZip::unzipFileAtPath(
      arguments[0], arguments[1], fileManager, [](int64_t done, int64_t total) {
        std::fprintf(stderr, "progress %lld/%lld\n", static_cast<long long>(done),
                     static_cast<long long>(total));
      });
  for (const QString& path : written) {
    Tool::printLine(path);
  }
  if (written.isEmpty()) {
    return Tool::failure(QStringLiteral("nothing was extracted from \"%1\"").arg(arguments[0]));
  }
  return Tool::kSuccess;
}

int localInfo(const QStringList& arguments) {
  if (arguments.size() != 1) {
    return Tool::usageError(QStringLiteral("expected FILE"));
  }
  const std::optional<LocalUpdateInfo> info = LocalUpdateInfo::readFile(arguments[0]);
  if (!info) {
    Tool::printLine(QStringLiteral("none"));
    return Tool::kSuccess;
  }
  Tool::printField(QStringLiteral("updateMode"), LocalUpdateInfo::caseName(info->updateMode));
  Tool::printField(QStringLiteral("firmwareName"), info->firmwareName);
  Tool::printField(QStringLiteral("version"), info->version);
  Tool::printField(QStringLiteral("writeAddress"), QString::number(info->writeAddress));
  Tool::printField(QStringLiteral("transferLength"), QString::number(info->transferLength));
  Tool::printField(QStringLiteral("targetCPU"), LocalUpdateInfo::caseName(info->targetCPU));
  return Tool::kSuccess;
}

}  // namespace

QList<ToolCommand> firmwareCommands() {
  return {
      {QStringLiteral("zip-size"), QStringLiteral("ARCHIVE"),
       QStringLiteral("the total unpacked size of a zip archive's entries (0 if not a zip)"),
       zipSize},
      {QStringLiteral("unpack"), QStringLiteral("ARCHIVE DIR"),
       QStringLiteral("unpacks a firmware package into DIR; prints the top-level paths written, "
                      "progress on stderr"),
       unpack},
      {QStringLiteral("local-info"), QStringLiteral("FILE"),
       QStringLiteral("the local firmware description in an INI file, or none"), localInfo},
  };
}
