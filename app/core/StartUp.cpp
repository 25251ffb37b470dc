#include "app/core/StartUp.h"

#include "app/core/Logger.h"
#include "app/core/Settings.h"
#include "app/localize/CMLocalize.h"
#include "platform/Bundle.h"

namespace StartUp {

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
