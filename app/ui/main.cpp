#include "app/core/LaunchOptions.h"
#include "app/core/StartUp.h"
#include "app/sim/VirtualRecorderRack.h"
#include "app/localize/CMLocalize.h"
#include "platform/Bundle.h"

#include <QCoreApplication>

#include <cstdio>

// The desktop wizard is not part of this build yet: start-up runs as far as it can
// without a window, then says so.
int main(int argc, char* argv[]) {
  // Worker threads (the network session and Qt Network's own thread) wake each other for
  // every 4 KiB of a download; GLib's event loop makes a system call per wake-up, Qt's own
  // merges them. The main thread keeps GLib for the desktop integration.
  if (!qEnvironmentVariableIsSet("QT_NO_THREADED_GLIB")) {
    qputenv("QT_NO_THREADED_GLIB", "1");
  }
  const QCoreApplication app(argc, argv);
  StartUp::prepare(QCoreApplication::arguments(), Bundle::main());
  const QStringList virtualRecorders =
      LaunchOptions::parse(QCoreApplication::arguments()).resolve().virtualRecorderFolders;
  std::unique_ptr<VirtualRecorderRack> rack;
  if (!virtualRecorders.isEmpty()) {
    auto installed = VirtualRecorderRack::install(virtualRecorders);
    if (const auto* error = std::get_if<QString>(&installed)) {
      std::fprintf(stderr, "tarnwell: %s\n", qUtf8Printable(*error));
      return 1;
    }
    rack = std::get<std::unique_ptr<VirtualRecorderRack>>(std::move(installed));
  }
  const QString name = CMLocalize::localizedString(QStringLiteral("ID_APP_NAME"));
  std::fprintf(stderr, "%s: the wizard is not available in this build yet; "
                       "see tarnwell-tool --help\n",
               qUtf8Printable(name.isEmpty() ? QStringLiteral("tarnwell") : name));
  return 1;
}
