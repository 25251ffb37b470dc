// A firmware package: any bytes, unpacked into a fresh folder. Whatever the archive holds,
// nothing may appear beside that folder and the bytes written may not exceed the total.
#include "app/firmware/KvoUnZip.h"
#include "app/firmware/LocalFileManager.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const QTemporaryDir work;
  static const QString archive = work.filePath(QStringLiteral("package.zip"));
  static const QString destination = work.filePath(QStringLiteral("out/dest"));
  QFile file(archive);
  if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
    return 0;
  }
  file.write(reinterpret_cast<const char*>(data), static_cast<qint64>(size));
  file.close();

  LocalFileManager fileManager;
  int64_t last = 0;
  const int64_t total = KvoUnZip::totalFileSizeInZipFileAtPath(archive);
  const QStringList written = KvoUnZip::unzipFileAtPath(
      archive, destination, fileManager, [&last](int64_t done, int64_t reportedTotal) {
        if (done <= last || done > reportedTotal) {
          std::abort();
        }
        last = done;
      });
  if (last > total) {
    std::abort();
  }
  for (const QString& path : written) {
    if (!path.startsWith(destination + QLatin1Char('/'))) {
      std::abort();
    }
  }
  // Only the destination may have appeared in the work folder and in out/.
  const QDir::Filters all = QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System;
  const QStringList top = QDir(work.path()).entryList(all);
  const QStringList out = QDir(work.filePath(QStringLiteral("out"))).entryList(all);
  if (top.size() > 2 || out.size() > 1 ||
      (!out.isEmpty() && out.first() != QLatin1String("dest"))) {
    std::abort();
  }
  QDir(destination).removeRecursively();
  return 0;
}
