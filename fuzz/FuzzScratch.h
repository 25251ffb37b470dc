#pragma once

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QString>
#include <QTemporaryDir>

// A private folder for targets whose reader takes only a path: removed when the process
// ends normally. HOME and the configuration folders point into it, so a target never
// reads the user's own files.
class FuzzScratch final {
 public:
  FuzzScratch() {
    qputenv("HOME", dir_.path().toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", dir_.filePath(QStringLiteral("config")).toLocal8Bit());
    qputenv("XDG_CONFIG_DIRS", dir_.filePath(QStringLiteral("etc")).toLocal8Bit());
  }

  QString filePath(const QString& name) const { return dir_.filePath(name); }

  // Replaces the file `name` (folders created as needed) with `bytes`.
  bool write(const QString& name, const QByteArray& bytes) const {
    const QString path = filePath(name);
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) >= 0;
  }

 private:
  // In memory where the system offers it: rewriting a file in place on a disk file system
  // waits for the disk on every run.
  static QString base() {
    const QFileInfo shm(QStringLiteral("/dev/shm"));
    return shm.isDir() && shm.isWritable() ? shm.filePath() : QDir::tempPath();
  }

  QTemporaryDir dir_{base() + QStringLiteral("/tarnwell-fuzz-XXXXXX")};
};
