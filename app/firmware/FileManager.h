#pragma once

#include <QString>

#include <cstdint>
#include <memory>

// The file-system operations that unpacking a package needs, behind an interface so that
// tests can make any one of them fail.
class FileManager {
 public:
  enum class ItemType { none, file, directory, symbolicLink, other };

  // A file open for writing; the bytes are on disk only when close() succeeded.
  class Writer {
   public:
    virtual ~Writer() = default;
    virtual bool write(const char* data, int64_t size) = 0;
    virtual bool close() = 0;
  };

  virtual ~FileManager() = default;

  // What is at path, without following a symbolic link there.
  virtual ItemType itemType(const QString& path) const = 0;
  // Creates one directory whose parent exists, with default attributes.
  virtual bool createDirectory(const QString& path) = 0;
  // Creates or truncates a regular file; never opens through a symbolic link. Null on failure.
  virtual std::unique_ptr<Writer> createFile(const QString& path) = 0;
  virtual bool removeFile(const QString& path) = 0;
};
