#include "app/core/StartUp.h"
#include "app/localize/CMLocalize.h"
#include "platform/Bundle.h"

#include <QCoreApplication>

#include <cstdio>

// The desktop wizard is not part of this build yet: start-up runs as far as it can
// without a window, then says so.
int main(int argc, char* argv[]) {
  const QCoreApplication app(argc, argv);
  StartUp::prepare(QCoreApplication::arguments(), Bundle::main());
  const QString name = CMLocalize::localizedString(QStringLiteral("ID_APP_NAME"));
  std::fprintf(stderr, "%s: the wizard is not available in this build yet; "
                       "see tarnwell-tool --help\n",
               qUtf8Printable(name.isEmpty() ? QStringLiteral("tarnwell") : name));
  return 1;
}
