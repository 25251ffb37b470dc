#include "app/device/AudioDeviceTable.h"
#include "app/device/VersionCode.h"
#include "app/tool/ToolCommand.h"

namespace {

using Tool::hex;

int expectArguments(const QStringList& arguments, qsizetype count, const QString& usage) {
  if (arguments.size() != count) {
    return Tool::usageError(QStringLiteral("expected %1").arg(usage));
  }
  return Tool::kSuccess;
}

// Prints convert(ARGUMENT) for the one argument a conversion command takes.
int printConversion(const QStringList& arguments, const QString& usage,
                    QString (*convert)(const QString&)) {
  if (const int status = expectArguments(arguments, 1, usage)) {
    return status;
  }
  Tool::printLine(convert(arguments[0]));
  return Tool::kSuccess;
}

int versionCode(const QStringList& arguments) {
  if (arguments.size() == 1 && versionCodeFromLabel(arguments[0]).isEmpty()) {
    return Tool::failure(
        QStringLiteral("\"%1\" is not a version label such as \"Ver 1.23\"").arg(arguments[0]));
  }
  return printConversion(arguments, QStringLiteral("LABEL"), versionCodeFromLabel);
}

int displayVersion(const QStringList& arguments) {
  return printConversion(arguments, QStringLiteral("CODE"), displayVersionFromCode);
}

int shortVersion(const QStringList& arguments) {
  return printConversion(arguments, QStringLiteral("TEXT"), shortVersionString);
}

int isLower(const QStringList& arguments) {
  if (const int status = expectArguments(arguments, 2, QStringLiteral("A B"))) {
    return status;
  }
  Tool::printLine(isVersionCodeLower(arguments[0], arguments[1]) ? QStringLiteral("true")
                                                                 : QStringLiteral("false"));
  return Tool::kSuccess;
}

int models(const QStringList& arguments) {
  if (const int status = expectArguments(arguments, 0, QStringLiteral("no arguments"))) {
    return status;
  }
  const AudioDeviceTable table;
  for (const ModelIDItem& item : table.modelIDs()) {
    QString line = QStringLiteral("pid=%1 deviceID=%2 modelID=%3")
                       .arg(hex(static_cast<uint64_t>(item.pid), 4), hex(item.deviceID, 4),
                            item.modelID ? QString::number(*item.modelID) : QStringLiteral("none"));
    const auto address = table.transferAddressFor(item.pid, item.deviceID);
    line += address ? QStringLiteral(" updateType=scsiTransfer")
                    : QStringLiteral(" updateType=fileCopy");
    if (address) {
      line += QStringLiteral(" mainCPUAddress=%1 mainCPULength=%2 subCPUAddress=%3 subCPULength=%4")
                  .arg(hex(address->mainCPUAddress, 8), hex(address->mainCPULength, 8),
                       hex(address->subCPUAddress, 8), hex(address->subCPULength, 8));
    }
    Tool::printLine(line);
  }
  return Tool::kSuccess;
}

}  // namespace

QList<ToolCommand> deviceCommands() {
  return {
      {QStringLiteral("version-code"), QStringLiteral("LABEL"),
       QStringLiteral("the version code of a recorder's version label (\"Ver 1.23\" -> 1230)"),
       versionCode},
      {QStringLiteral("display-version"), QStringLiteral("CODE"),
       QStringLiteral("the version shown to the user for a version code (1230 -> 1.23)"),
       displayVersion},
      {QStringLiteral("is-lower"), QStringLiteral("A B"),
       QStringLiteral("true when version code A is lower than B, else false"), isLower},
      {QStringLiteral("short-version"), QStringLiteral("TEXT"),
       QStringLiteral("a dotted version shortened as the wizard shows it (1.2.0 -> 1.2)"),
       shortVersion},
      {QStringLiteral("models"), QString(),
       QStringLiteral("the supported recorder models, one row a line"), models},
  };
}
