#pragma once

#include <QByteArray>
#include <QString>

#include <memory>

// A private copy of a firmware package in the temporary directory, so that the zip reader
// can open it by path. The file is created with a unique name readable only by this user
// and removed when the object goes, whichever way the update ends.
class TemporaryPackage final {
 public:
  static constexpr auto kNameTemplate = "DVR_XXXXXX";

  // Writes `data` into a new file in `directory`; none when no file could be made or the
  // bytes could not all be written (nothing is left behind then).
  static std::unique_ptr<TemporaryPackage> write(const QByteArray& data, const QString& directory);

  TemporaryPackage(const TemporaryPackage&) = delete;
  TemporaryPackage& operator=(const TemporaryPackage&) = delete;
  ~TemporaryPackage();

  const QString& path() const { return path_; }

 private:
  explicit TemporaryPackage(QString path) : path_(std::move(path)) {}

  QString path_;
};
