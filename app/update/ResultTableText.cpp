#include "app/update/ResultTableText.h"

#include "app/localize/CMLocalize.h"

namespace ResultTableText {

QString displayName(const QString& deviceName) {
  QString name = deviceName;
  // Control characters would move the terminal's cursor or garble a captured log.
  name.removeIf([](QChar c) { return c.category() == QChar::Other_Control; });
  return name.trimmed();
}

QString fileSizeText(int64_t bytes) {
  // The number is formatted on its own: the unit is text, never part of a format string.
  return QString::asprintf("%.1f", static_cast<double>(bytes) / 1024.0 / 1024.0) +
         CMLocalize::localizedString(QStringLiteral("ID_UNIT_MB"));
}

}  // namespace ResultTableText
