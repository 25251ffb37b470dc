// The string-table file: any bytes, loaded for one language and looked up.
#include "app/localize/CMLocalize.h"

#include <QFile>
#include <QTemporaryDir>

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const QTemporaryDir dir;
  static const QString path = dir.filePath(QStringLiteral("Localizable.olc"));
  QFile file(path);
  if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
    return 0;
  }
  file.write(reinterpret_cast<const char*>(data), static_cast<qint64>(size));
  file.close();

  CMLocalize localize({QStringLiteral("ja")});
  localize.setLocalizeCSVFile(path);
  for (const char* key : {"ID_OK", "ID_OK:", "ID_OK...", "KEY", "", "_x"}) {
    (void)localize.getLocalizedString(QString::fromLatin1(key));
  }
  return 0;
}
