#pragma once

#include "app/firmware/FileManager.h"

#include <cstdint>

// The file manager over the local file system (POSIX calls, default permissions less the
// process's umask).
class LocalFileManager final : public FileManager {
 public:
  ItemType itemType(const QString& path) const override;
  bool createDirectory(const QString& path) override;
  std::unique_ptr<Writer> createFile(const QString& path) override;
  bool removeFile(const QString& path) override;
};

// Writes all `size` bytes to the open file `fd`, going on after interruptions; false on the
// first error.
bool writeAllToFile(int fd, const char* data, int64_t size);
