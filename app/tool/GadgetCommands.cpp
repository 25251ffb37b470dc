#include "app/sim/UsbGadget.h"
#include "app/tool/ToolCommand.h"

#include <cstdio>

namespace {

int gadget(const QStringList& arguments) {
  QString folder;
  QString controller;
  for (qsizetype index = 0; index < arguments.size(); ++index) {
    if (arguments[index] == QLatin1String("--udc") && index + 1 < arguments.size()) {
      controller = arguments[++index];
    } else if (folder.isEmpty() && !arguments[index].startsWith(QLatin1Char('-'))) {
      folder = arguments[index];
    } else {
      return Tool::usageError(QStringLiteral("gadget takes FOLDER and --udc NAME"));
    }
  }
  if (folder.isEmpty()) {
    return Tool::usageError(QStringLiteral("gadget needs the recorder's FOLDER"));
  }
  if (controller.isEmpty()) {
    const QStringList controllers = UsbGadget::controllers();
    if (controllers.size() != 1) {
      return Tool::failure(controllers.isEmpty()
                               ? QStringLiteral("no USB device controller in /sys/class/udc")
                               : QStringLiteral("several USB device controllers (%1): pick "
                                                "one with --udc NAME")
                                     .arg(controllers.join(QStringLiteral(", "))));
    }
    controller = controllers.front();
  }
  const QString error = UsbGadget::run(folder, controller, [](const QString& line) {
    Tool::printLine(line);
    std::fflush(stdout);
  });
  return error.isEmpty() ? Tool::kSuccess : Tool::failure(error);
}

}  // namespace

QList<ToolCommand> gadgetCommands() {
  return {
      {QStringLiteral("gadget"), QStringLiteral("FOLDER [--udc NAME]"),
       QStringLiteral("presents the virtual recorder in FOLDER as a USB disk on a device "
                      "controller (root; runs until stopped): attached=, restarted=, vanished="),
       gadget},
  };
}
