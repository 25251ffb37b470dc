#include "app/core/RunningEnvironment.h"

#include "platform/Bundle.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <sys/stat.h>
#include <unistd.h>

int64_t RunningEnvironmentReal::instanceCount() const {
  if (Bundle::main().identifier().isEmpty()) {
    return 0;
  }
  return countProcesses(QStringLiteral("/proc"),
                        QFile::symLinkTarget(QStringLiteral("/proc/self/exe")), getuid());
}

int64_t RunningEnvironmentReal::countProcesses(const QString& procRoot,
                                               const QString& executablePath, unsigned uid) {
  int64_t count = 0;
  const QStringList entries = QDir(procRoot).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
  for (const QString& entry : entries) {
    bool isPid = false;
    entry.toUInt(&isPid);
    if (!isPid) {
      continue;
    }
    const QString dir = procRoot + QLatin1Char('/') + entry;
    struct stat info {};
    if (::stat(QFile::encodeName(dir).constData(), &info) != 0 || info.st_uid != uid) {
      continue;
    }
    if (QFile::symLinkTarget(dir + QStringLiteral("/exe")) == executablePath) {
      ++count;
    }
  }
  return count;
}
