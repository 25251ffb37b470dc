#include "app/firmware/TemporaryPackage.h"

#include "app/firmware/LocalFileManager.h"

#include <QDir>
#include <QFile>

#include <cstdlib>

#include <unistd.h>

std::unique_ptr<TemporaryPackage> TemporaryPackage::write(const QByteArray& data,
                                                          const QString& directory) {
  QByteArray name = QFile::encodeName(QDir(directory).filePath(QLatin1String(kNameTemplate)));
  // mkstemp creates the file itself (O_EXCL, mode 0600): no one can slip in between
  // choosing the name and opening it.
  const int fd = ::mkstemp(name.data());
  if (fd < 0) {
    return nullptr;
  }
  auto package = std::unique_ptr<TemporaryPackage>(new TemporaryPackage(QFile::decodeName(name)));
  const bool written = writeAllToFile(fd, data.constData(), data.size());
  if (::close(fd) != 0 || !written) {
    return nullptr;
  }
  return package;
}

TemporaryPackage::~TemporaryPackage() { ::unlink(QFile::encodeName(path_).constData()); }
