#include "tests/firmware/ArchiveTools.h"

#include "tests/support/ToolProcess.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>

namespace ArchiveTools {

using namespace Qt::StringLiterals;

bool makePythonArchive(const QString& kind, const QString& path, const QString& argument) {
  QStringList arguments{QStringLiteral(TARNWELL_TEST_DATA_DIR "/firmware/make_archive.py"), kind,
                        path};
  if (!argument.isEmpty()) {
    arguments << argument;
  }
  return runProgram(u"python3"_s, arguments).status == 0;
}

void writeFile(const QString& path, const QByteArray& data) {
  QDir().mkpath(QFileInfo(path).absolutePath());
  QFile file(path);
  if (file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
    file.write(data);
  }
}

QByteArray readFile(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QByteArray pattern(int size, int seed) {
  QByteArray data(size, Qt::Uninitialized);
  for (int i = 0; i < size; ++i) {
    data[i] = static_cast<char>((i * 7 + seed + (i >> 10)) & 0xFF);
  }
  return data;
}

QMap<QString, QByteArray> tree(const QString& root) {
  QMap<QString, QByteArray> items;
  const QDir base(root);
  QDirIterator it(root, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                  QDirIterator::Subdirectories);
  while (it.hasNext()) {
    const QFileInfo info(it.next());
    const QString name = base.relativeFilePath(info.filePath());
    if (info.isSymLink()) {
      items.insert(name, "<link>");
    } else if (info.isDir()) {
      items.insert(name, "<dir>");
    } else {
      items.insert(name, readFile(info.filePath()));
    }
  }
  return items;
}

}  // namespace ArchiveTools
