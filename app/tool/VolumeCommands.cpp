#include "app/tool/ToolCommand.h"
#include "platform/volume/VolumeTable.h"

#include <future>

namespace {

int mounts(const QStringList& arguments) {
  if (!arguments.isEmpty()) {
    return Tool::usageError(QStringLiteral("mounts takes no arguments"));
  }
  VolumeTable& table = VolumeTable::shared();
  bool first = true;
  for (const MountedVolume& volume : table.mountedVolumes()) {
    if (!first) {
      Tool::printLine(QString());
    }
    first = false;
    Tool::printField(QStringLiteral("mountPoint"), QString::fromStdString(volume.mountPoint));
    Tool::printField(QStringLiteral("source"), QString::fromStdString(volume.source));
    // Empty when the file system will not tell (no permission, gone meanwhile).
    const auto space = table.space(volume.mountPoint);
    Tool::printField(QStringLiteral("freeBytes"),
                     space ? QString::number(space->freeBytes) : QString());
  }
  return Tool::kSuccess;
}

int unmount(const QStringList& arguments) {
  if (arguments.size() != 1) {
    return Tool::usageError(QStringLiteral("expected PATH, the mount point"));
  }
  std::promise<std::optional<std::string>> done;
  VolumeTable::shared().unmount(
      arguments[0].toStdString(),
      [&done](std::optional<std::string> error) { done.set_value(std::move(error)); });
  if (const auto error = done.get_future().get()) {
    return Tool::failure(
        QStringLiteral("cannot unmount %1: %2").arg(arguments[0], QString::fromStdString(*error)));
  }
  return Tool::kSuccess;
}

}  // namespace

QList<ToolCommand> volumeCommands() {
  return {
      {QStringLiteral("mounts"), QString(),
       QStringLiteral("every mounted volume: mountPoint, source and freeBytes, a block each"),
       mounts},
      {QStringLiteral("unmount"), QStringLiteral("PATH"),
       QStringLiteral("unmounts the volume mounted at PATH without asking the user"), unmount},
  };
}
