#include "tests/support/CopyTree.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>

bool copyTree(const QString& from, const QString& to) {
  QDir().mkpath(to);
  QDirIterator it(from, QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot,
                  QDirIterator::Subdirectories);
  bool copied = true;
  while (it.hasNext()) {
    const QString path = it.next();
    const QString target = to + path.mid(from.size());
    if (it.fileInfo().isDir()) {
      QDir().mkpath(target);
    } else {
      copied = QFile::copy(path, target) && copied;
      QFile::setPermissions(target, it.fileInfo().permissions());
    }
  }
  return copied;
}
