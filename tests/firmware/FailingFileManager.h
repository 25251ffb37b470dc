#pragma once

#include "app/firmware/LocalFileManager.h"

#include <QString>
#include <QStringList>

#include <memory>
#include <utility>

// The disk, except that one kind of operation fails on paths that contain `pathPart`, as
// on a full disk or a volume that goes away; a failing write lets `writesBefore` writes of
// each file through first.
class FailingFileManager final : public FileManager {
 public:
  enum class Fail { createDirectory, createFile, write, close };

  FailingFileManager(Fail fail, QString pathPart, int writesBefore = 0)
      : fail_(fail), pathPart_(std::move(pathPart)), writesBefore_(writesBefore) {}

  ItemType itemType(const QString& path) const override { return disk_.itemType(path); }
  bool createDirectory(const QString& path) override {
    return !(fail_ == Fail::createDirectory && path.contains(pathPart_)) &&
           disk_.createDirectory(path);
  }
  std::unique_ptr<Writer> createFile(const QString& path) override {
    if (fail_ == Fail::createFile && path.contains(pathPart_)) {
      return nullptr;
    }
    std::unique_ptr<Writer> file = disk_.createFile(path);
    if (file && path.contains(pathPart_) && (fail_ == Fail::write || fail_ == Fail::close)) {
      return std::make_unique<FailingWriter>(std::move(file), fail_, writesBefore_);
    }
    return file;
  }
  bool removeFile(const QString& path) override {
    removed_ << path;
    return disk_.removeFile(path);
  }

  QStringList removed() const { return removed_; }

 private:
  class FailingWriter final : public Writer {
   public:
    FailingWriter(std::unique_ptr<Writer> file, Fail fail, int writesBefore)
        : file_(std::move(file)), fail_(fail), writesLeft_(writesBefore) {}
    bool write(const char* data, int64_t size) override {
      return (fail_ != Fail::write || writesLeft_-- > 0) && file_->write(data, size);
    }
    bool close() override { return file_->close() && fail_ != Fail::close; }

   private:
    std::unique_ptr<Writer> file_;
    Fail fail_;
    int writesLeft_;
  };

  LocalFileManager disk_;
  Fail fail_;
  QString pathPart_;
  int writesBefore_;
  QStringList removed_;
};
