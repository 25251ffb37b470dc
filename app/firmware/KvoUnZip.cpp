#include "app/firmware/KvoUnZip.h"

#include "platform/BoundedRead.h"

#include <QFile>
#include <QSet>
#include <QStringDecoder>

#include <minizip/unzip.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr unsigned long kEncryptedFlag = 0x1;
constexpr unsigned long kMethodStored = 0;
constexpr unsigned long kMethodDeflated = Z_DEFLATED;
constexpr unsigned long kHostUnix = 3;
constexpr unsigned long kUtf8NamesFlag = 0x800;

// A name without the UTF-8 flag is in code page 437, as the zip format says: every byte is a
// character of its own, so two different names never decode alike.
QString fromCodePage437(std::string_view bytes) {
  static constexpr std::array<char16_t, 128> kUpperHalf = {
      0x00C7, 0x00FC, 0x00E9, 0x00E2, 0x00E4, 0x00E0, 0x00E5, 0x00E7, 0x00EA, 0x00EB, 0x00E8,
      0x00EF, 0x00EE, 0x00EC, 0x00C4, 0x00C5, 0x00C9, 0x00E6, 0x00C6, 0x00F4, 0x00F6, 0x00F2,
      0x00FB, 0x00F9, 0x00FF, 0x00D6, 0x00DC, 0x00A2, 0x00A3, 0x00A5, 0x20A7, 0x0192, 0x00E1,
      0x00ED, 0x00F3, 0x00FA, 0x00F1, 0x00D1, 0x00AA, 0x00BA, 0x00BF, 0x2310, 0x00AC, 0x00BD,
      0x00BC, 0x00A1, 0x00AB, 0x00BB, 0x2591, 0x2592, 0x2593, 0x2502, 0x2524, 0x2561, 0x2562,
      0x2556, 0x2555, 0x2563, 0x2551, 0x2557, 0x255D, 0x255C, 0x255B, 0x2510, 0x2514, 0x2534,
      0x252C, 0x251C, 0x2500, 0x253C, 0x255E, 0x255F, 0x255A, 0x2554, 0x2569, 0x2566, 0x2560,
      0x2550, 0x256C, 0x2567, 0x2568, 0x2564, 0x2565, 0x2559, 0x2558, 0x2552, 0x2553, 0x256B,
      0x256A, 0x2518, 0x250C, 0x2588, 0x2584, 0x258C, 0x2590, 0x2580, 0x03B1, 0x00DF, 0x0393,
      0x03C0, 0x03A3, 0x03C3, 0x00B5, 0x03C4, 0x03A6, 0x0398, 0x03A9, 0x03B4, 0x221E, 0x03C6,
      0x03B5, 0x2229, 0x2261, 0x00B1, 0x2265, 0x2264, 0x2320, 0x2321, 0x00F7, 0x2248, 0x00B0,
      0x2219, 0x00B7, 0x221A, 0x207F, 0x00B2, 0x25A0, 0x00A0};
  QString name;
  name.reserve(static_cast<qsizetype>(bytes.size()));
  for (const char byte : bytes) {
    const auto code = static_cast<unsigned char>(byte);
    name += code < 0x80 ? QChar(char16_t{code}) : QChar(kUpperHalf[code - 0x80]);
  }
  return name;
}

// A name with the UTF-8 flag, or none when it is not UTF-8 (decoding it anyway would turn
// different names into the same one).
std::optional<QString> fromFlaggedUtf8(std::string_view bytes) {
  QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
  QString name = decoder.decode(QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size())));
  if (decoder.hasError()) {
    return std::nullopt;
  }
  return name;
}

struct ArchiveCloser {
  void operator()(void* archive) const { unzClose(archive); }
};
using Archive = std::unique_ptr<void, ArchiveCloser>;

// Only a regular file is opened as an archive (a FIFO would hold the reader for ever). The
// archive reader opens the very file checked, through the descriptor's /proc name.
Archive openArchive(const QString& path) {
  const int fd = openRegularFile(path);
  if (fd < 0) {
    return nullptr;
  }
  Archive archive(unzOpen64(("/proc/self/fd/" + std::to_string(fd)).c_str()));
  ::close(fd);
  return archive;
}

int64_t saturatingAdd(int64_t sum, uint64_t size) {
  constexpr auto kMax = static_cast<uint64_t>(std::numeric_limits<int64_t>::max());
  if (size > kMax - static_cast<uint64_t>(sum)) {
    return std::numeric_limits<int64_t>::max();
  }
  return sum + static_cast<int64_t>(size);
}

struct Entry {
  unz_file_info64 info{};
  QString name;
};

// The current entry's information, or none when it cannot be read or its name does not fit
// the name buffer whole (a cut name would write somewhere the archive did not say).
std::optional<Entry> currentEntry(unzFile archive) {
  Entry entry;
  char name[KvoUnZip::kNameBufferSize] = {};
  if (unzGetCurrentFileInfo64(archive, &entry.info, name, sizeof name, nullptr, 0, nullptr, 0) !=
      UNZ_OK) {
    return std::nullopt;
  }
  const auto size = static_cast<size_t>(entry.info.size_filename);
  if (size >= sizeof name || std::memchr(name, 0, size) != nullptr) {
    return std::nullopt;
  }
  const std::string_view bytes(name, size);
  if ((entry.info.flag & kUtf8NamesFlag) == 0) {
    entry.name = fromCodePage437(bytes);
    return entry;
  }
  std::optional<QString> decoded = fromFlaggedUtf8(bytes);
  if (!decoded) {
    return std::nullopt;
  }
  entry.name = std::move(*decoded);
  return entry;
}

bool isSymbolicLink(const unz_file_info64& info) {
  const unsigned long mode = (info.external_fa >> 16) & S_IFMT;
  return (info.version >> 8) == kHostUnix && mode == S_IFLNK;
}

// The entry's path below the destination as components, or none when the name is absolute,
// has a ".." component or names nothing.
std::optional<QStringList> relativeComponents(const QString& name) {
  if (name.startsWith(QLatin1Char('/'))) {
    return std::nullopt;
  }
  QStringList components;
  for (const QString& component : name.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
    if (component == QLatin1String("..")) {
      return std::nullopt;
    }
    if (component != QLatin1String(".")) {
      components << component;
    }
  }
  if (components.isEmpty()) {
    return std::nullopt;
  }
  return components;
}

class Extraction final {
 public:
  Extraction(unzFile archive, QString destination, FileManager& fileManager,
             const KvoUnZip::ProgressHandler& progressHandler,
             const KvoUnZip::StopRequest& stopRequest, int64_t total)
      : archive_(archive),
        destination_(std::move(destination)),
        fileManager_(fileManager),
        progressHandler_(progressHandler),
        stopRequest_(stopRequest),
        total_(total),
        buffer_(std::make_unique_for_overwrite<char[]>(KvoUnZip::kBufferSize)) {}

  bool stopRequested() const { return stopRequest_ && stopRequest_(); }

  void extractCurrentEntry() {
    const std::optional<Entry> entry = currentEntry(archive_);
    if (!entry || isSymbolicLink(entry->info)) {
      return;
    }
    const std::optional<QStringList> components = relativeComponents(entry->name);
    if (!components) {
      return;
    }
    const bool isDirectory = entry->name.endsWith(QLatin1Char('/'));
    const qsizetype parents = isDirectory ? components->size() : components->size() - 1;
    if (!makeDestination() || !makeDirectories(*components, parents)) {
      return;
    }
    if (isDirectory || extractFile(entry->info, destination_ + QLatin1Char('/') +
                                                    components->join(QLatin1Char('/')))) {
      addTopLevelItem(destination_ + QLatin1Char('/') + components->first());
    }
  }

  QStringList written() const { return written_; }

 private:
  // The destination and any missing folders above it, made when the first entry needs them.
  bool makeDestination() {
    if (destinationMade_) {
      return true;
    }
    QStringList missing;
    QString path = destination_;
    while (fileManager_.itemType(path) == FileManager::ItemType::none) {
      missing.prepend(path);
      const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
      if (slash <= 0) {
        break;
      }
      path.truncate(slash);
    }
    for (const QString& folder : missing) {
      if (!fileManager_.createDirectory(folder)) {
        return false;
      }
    }
    destinationMade_ = true;
    return true;
  }

  // Makes the first count components exist as real directories; a symbolic link or a file
  // on the way ends the entry, so nothing is written through a link.
  bool makeDirectories(const QStringList& components, qsizetype count) {
    QString path = destination_;
    for (qsizetype i = 0; i < count; ++i) {
      path += QLatin1Char('/') + components[i];
      switch (fileManager_.itemType(path)) {
        case FileManager::ItemType::directory:
          break;
        case FileManager::ItemType::none:
          if (!fileManager_.createDirectory(path)) {
            return false;
          }
          break;
        default:
          return false;
      }
    }
    return true;
  }

  bool extractFile(const unz_file_info64& info, const QString& path) {
    if ((info.flag & kEncryptedFlag) != 0 ||
        (info.compression_method != kMethodStored && info.compression_method != kMethodDeflated)) {
      return false;
    }
    const FileManager::ItemType existing = fileManager_.itemType(path);
    if (existing != FileManager::ItemType::none && existing != FileManager::ItemType::file) {
      return false;
    }
    if (unzOpenCurrentFile(archive_) != UNZ_OK) {
      return false;
    }
    const std::unique_ptr<FileManager::Writer> file = fileManager_.createFile(path);
    if (!file) {
      unzCloseCurrentFile(archive_);
      return false;
    }
    const bool copied = copyCurrentEntry(info.uncompressed_size, *file);
    // Closing the entry checks its CRC once it has been read to the end.
    const bool verified = unzCloseCurrentFile(archive_) == UNZ_OK;
    const bool closed = file->close();
    if (copied && verified && closed) {
      return true;
    }
    fileManager_.removeFile(path);
    return false;
  }

  // Copies exactly the declared size, so an archive that understates its sizes cannot write
  // more than the total it announced; a short or failing read is a failure.
  bool copyCurrentEntry(uint64_t size, FileManager::Writer& file) {
    uint64_t remaining = size;
    while (remaining > 0) {
      const auto wanted =
          static_cast<unsigned>(std::min<uint64_t>(remaining, KvoUnZip::kBufferSize));
      const int read = unzReadCurrentFile(archive_, buffer_.get(), wanted);
      if (read <= 0 || !file.write(buffer_.get(), read)) {
        return false;
      }
      remaining -= static_cast<uint64_t>(read);
      writtenBytes_ += read;
      if (progressHandler_) {
        progressHandler_(writtenBytes_, total_);
      }
      if (stopRequested()) {
        return false;
      }
    }
    return true;
  }

  void addTopLevelItem(const QString& path) {
    if (!topLevelSeen_.contains(path)) {
      topLevelSeen_.insert(path);
      written_ << path;
    }
  }

  unzFile archive_;
  QString destination_;
  FileManager& fileManager_;
  const KvoUnZip::ProgressHandler& progressHandler_;
  const KvoUnZip::StopRequest& stopRequest_;
  int64_t total_;
  int64_t writtenBytes_ = 0;
  bool destinationMade_ = false;
  std::unique_ptr<char[]> buffer_;
  QStringList written_;
  QSet<QString> topLevelSeen_;
};

}  // namespace

int64_t KvoUnZip::totalFileSizeInZipFileAtPath(const QString& path) {
  const Archive archive = openArchive(path);
  if (!archive) {
    return 0;
  }
  int64_t sum = 0;
  for (int status = unzGoToFirstFile(archive.get()); status == UNZ_OK;
       status = unzGoToNextFile(archive.get())) {
    unz_file_info64 info{};
    char name[kNameBufferSize] = {};
    if (unzGetCurrentFileInfo64(archive.get(), &info, name, sizeof name, nullptr, 0, nullptr, 0) ==
        UNZ_OK) {
      sum = saturatingAdd(sum, info.uncompressed_size);
    }
  }
  return sum;
}

QStringList KvoUnZip::unzipFileAtPath(const QString& path, const QString& destination,
                                      FileManager& fileManager,
                                      const ProgressHandler& progressHandler,
                                      const StopRequest& stopRequest) {
  const int64_t total = totalFileSizeInZipFileAtPath(path);
  const Archive archive = openArchive(path);
  if (!archive) {
    return {};
  }
  // Joining drops a trailing "/" of the destination, as it does for entry names. An empty
  // destination would put the entries wherever the process happens to run: nothing is written.
  QString root = destination;
  while (root.endsWith(QLatin1Char('/'))) {
    root.chop(1);
  }
  if (destination.isEmpty()) {
    return {};
  }
  Extraction extraction(archive.get(), root, fileManager, progressHandler, stopRequest, total);
  for (int status = unzGoToFirstFile(archive.get());
       status == UNZ_OK && !extraction.stopRequested(); status = unzGoToNextFile(archive.get())) {
    extraction.extractCurrentEntry();
  }
  return extraction.written();
}
