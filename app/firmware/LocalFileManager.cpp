#include "app/firmware/LocalFileManager.h"

#include <QFile>

#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

class LocalFileWriter final : public FileManager::Writer {
 public:
  explicit LocalFileWriter(int fd) : fd_(fd) {}
  LocalFileWriter(const LocalFileWriter&) = delete;
  LocalFileWriter& operator=(const LocalFileWriter&) = delete;
  ~LocalFileWriter() override {
    if (fd_ >= 0) {
      ::close(fd_);
    }
  }

  bool write(const char* data, int64_t size) override { return writeAllToFile(fd_, data, size); }

  bool close() override {
    const int fd = fd_;
    fd_ = -1;
    // A failing close can mean the data never reached the disk (NFS, quotas).
    return fd >= 0 && ::close(fd) == 0;
  }

 private:
  int fd_;
};

}  // namespace

bool writeAllToFile(int fd, const char* data, int64_t size) {
  while (size > 0) {
    const ssize_t done = ::write(fd, data, static_cast<size_t>(size));
    if (done < 0 && errno == EINTR) {
      continue;
    }
    if (done <= 0) {
      return false;
    }
    data += done;
    size -= done;
  }
  return true;
}

FileManager::ItemType LocalFileManager::itemType(const QString& path) const {
  struct stat status {};
  if (::lstat(QFile::encodeName(path).constData(), &status) != 0) {
    return ItemType::none;
  }
  switch (status.st_mode & S_IFMT) {
    case S_IFREG:
      return ItemType::file;
    case S_IFDIR:
      return ItemType::directory;
    case S_IFLNK:
      return ItemType::symbolicLink;
    default:
      return ItemType::other;
  }
}

bool LocalFileManager::createDirectory(const QString& path) {
  if (::mkdir(QFile::encodeName(path).constData(), 0777) == 0) {
    return true;
  }
  // Someone else may have made it in the meantime; a directory is all that is asked for.
  return errno == EEXIST && itemType(path) == ItemType::directory;
}

std::unique_ptr<FileManager::Writer> LocalFileManager::createFile(const QString& path) {
  const int fd = ::open(QFile::encodeName(path).constData(),
                        O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0666);
  if (fd < 0) {
    return nullptr;
  }
  return std::make_unique<LocalFileWriter>(fd);
}

bool LocalFileManager::removeFile(const QString& path) {
  return ::unlink(QFile::encodeName(path).constData()) == 0;
}
