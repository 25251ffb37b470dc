#include "app/core/StartUp.h"

#include "app/core/Logger.h"
#include "app/core/Settings.h"
#include "app/localize/CMLocalize.h"
#include "platform/Bundle.h"

#include <malloc.h>

namespace StartUp {

void tuneProcess() {
  // Worker threads (the network session and Qt Network's own thread) wake each other for
  // every chunk of a download; GLib's event loop makes a system call per wake-up, Qt's own
  // merges them. The main thread keeps GLib for the desktop integration.
  if (!qEnvironmentVariableIsSet("QT_NO_THREADED_GLIB")) {
    qputenv("QT_NO_THREADED_GLIB", "1");
  }
  // Qt Network hands a download over in chunks that the allocator would otherwise give back
  // to the system and fault in again, some twenty thousand times for a 256 MiB package.
  // Keeping up to 64 MiB of freed memory avoids most of that.
  constexpr int kKeptFreeBytes = 64 * 1024 * 1024;
  mallopt(M_TRIM_THRESHOLD, kKeptFreeBytes);
}

LaunchOptions prepare(const QStringList& arguments, const Bundle& bundle) {
  LaunchOptions options = LaunchOptions::parse(arguments);

  const Settings settings = Settings::read();
  Logger::shared().setLoggerEnabled(!settings.isEmpty() && settings.enableLog().value_or(false));

  // Without the table every text is empty and layouts keep their message IDs.
  const QString table = bundle.resourcePath(QStringLiteral("Localizable"), QStringLiteral("olc"));
  if (!table.isEmpty()) {
    CMLocalize::initializeSharedWithFilePath(table);
  }
  return options;
}

}  // namespace StartUp
