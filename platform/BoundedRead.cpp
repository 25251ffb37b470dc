#include "platform/BoundedRead.h"

#include <QFile>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

int openRegularFile(const QString& path) {
  const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    return -1;
  }
  struct stat status {};
  if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
    ::close(fd);
    return -1;
  }
  return fd;
}

std::optional<QByteArray> readFileAtMost(const QString& path, qint64 maxSize) {
  const int fd = openRegularFile(path);
  QFile file;
  if (fd < 0 || !file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
    if (fd >= 0) {
      ::close(fd);
    }
    return std::nullopt;
  }
  if (file.size() > maxSize) {
    return std::nullopt;
  }
  constexpr qint64 kPiece = qint64{64} * 1024;
  QByteArray data;
  data.reserve(file.size());
  while (true) {
    const QByteArray piece = file.read(kPiece);
    if (file.error() != QFileDevice::NoError) {
      return std::nullopt;
    }
    if (piece.isEmpty()) {
      return data;
    }
    if (data.size() + piece.size() > maxSize) {
      return std::nullopt;
    }
    data += piece;
  }
}
