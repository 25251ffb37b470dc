#include "app/tool/VirtualOption.h"

#include "app/tool/ToolCommand.h"

std::unique_ptr<VirtualRecorderRack> takeVirtualRecorders(QStringList& arguments, int* exitStatus) {
  *exitStatus = Tool::kSuccess;
  QStringList folders;
  for (qsizetype i = 0; i < arguments.size();) {
    if (arguments[i] != QLatin1String("--virtual")) {
      ++i;
      continue;
    }
    if (i + 1 >= arguments.size()) {
      *exitStatus = Tool::usageError(QStringLiteral("--virtual needs a folder"));
      return nullptr;
    }
    folders.append(arguments[i + 1]);
    arguments.remove(i, 2);
  }
  if (folders.isEmpty()) {
    return nullptr;
  }
  auto installed = VirtualRecorderRack::install(folders);
  if (const auto* error = std::get_if<QString>(&installed)) {
    *exitStatus = Tool::failure(*error);
    return nullptr;
  }
  return std::get<std::unique_ptr<VirtualRecorderRack>>(std::move(installed));
}
