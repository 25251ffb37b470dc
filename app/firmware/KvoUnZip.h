#pragma once

#include "app/firmware/FileManager.h"

#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>

// Unpacks a firmware package (a zip archive) into a directory, reporting progress by bytes
// written. Stored and deflated entries are extracted; anything that could write outside the
// destination (absolute names, ".." components, symbolic links on the way) is skipped, and
// an entry that cannot be read completely and correctly leaves no file behind.
class KvoUnZip final {
 public:
  // (bytes written so far, total bytes of all entries)
  using ProgressHandler = std::function<void(int64_t, int64_t)>;
  // True to stop: the entry being written is removed, and no further entry is begun.
  using StopRequest = std::function<bool()>;

  static constexpr int64_t kBufferSize = int64_t{1} << 20;
  static constexpr int kNameBufferSize = 1024;

  KvoUnZip() = delete;

  // The sum of the declared uncompressed sizes of all entries (saturating at the largest
  // int64_t); 0 when the file is not a readable zip archive or holds no entry.
  static int64_t totalFileSizeInZipFileAtPath(const QString& path);

  // The full paths of the top-level items written below destination, in archive order,
  // each once; empty when the archive cannot be opened or nothing could be extracted.
  static QStringList unzipFileAtPath(const QString& path, const QString& destination,
                                     FileManager& fileManager,
                                     const ProgressHandler& progressHandler = {},
                                     const StopRequest& stopRequest = {});
};
