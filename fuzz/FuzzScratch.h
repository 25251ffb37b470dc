#pragma once

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QString>

#include <cerrno>
#include <csignal>

#include <unistd.h>

// A private folder for targets whose reader takes only a path, named after the process and
// removed when it ends normally; one left by a crashed run is removed by the next run. HOME
// and the configuration folders point into it, so a target never reads the user's files.
class FuzzScratch final {
 public:
  FuzzScratch() : path_(base() + QStringLiteral("/tarnwell-fuzz-%1").arg(getpid())) {
    removeLeftovers();
    QDir().mkpath(path_);
    qputenv("HOME", path_.toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", filePath(QStringLiteral("config")).toLocal8Bit());
    qputenv("XDG_CONFIG_DIRS", filePath(QStringLiteral("etc")).toLocal8Bit());
  }
  ~FuzzScratch() { QDir(path_).removeRecursively(); }
  FuzzScratch(const FuzzScratch&) = delete;
  FuzzScratch& operator=(const FuzzScratch&) = delete;

  // The process's one folder, made at the first call (call it from LLVMFuzzerInitialize, so
  // that the environment is in place before any input).
  static FuzzScratch& shared() {
    static FuzzScratch folder;
    return folder;
  }

  QString filePath(const QString& name) const { return QDir(path_).filePath(name); }

  // Replaces the file `name` (folders created as needed) with `bytes`.
  bool write(const QString& name, const QByteArray& bytes) const {
    const QString path = filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
      QDir().mkpath(QFileInfo(path).absolutePath());
      if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        return false;
      }
    }
    return file.write(bytes) == bytes.size();
  }

 private:
  // In memory where the system offers it: rewriting a file in place on a disk file system
  // waits for the disk on every run.
  static QString base() {
    const QFileInfo shm(QStringLiteral("/dev/shm"));
    return shm.isDir() && shm.isWritable() ? shm.filePath() : QDir::tempPath();
  }

  static void removeLeftovers() {
    const QDir folder(base());
    for (const QString& name :
         folder.entryList({QStringLiteral("tarnwell-fuzz-*")}, QDir::Dirs | QDir::NoSymLinks)) {
      bool ok = false;
      const int pid = name.section(QLatin1Char('-'), -1).toInt(&ok);
      if (ok && pid > 0 && kill(pid, 0) != 0 && errno == ESRCH) {
        QDir(folder.filePath(name)).removeRecursively();
      }
    }
  }

  QString path_;
};
