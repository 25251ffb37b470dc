#pragma once

#include <QString>

#include <array>
#include <cstdint>
#include <optional>
#include <variant>
#include <vector>

struct VirtualRecorderConfig;

// The disk a virtual recorder shows as a USB device: a sparse image file with a partition
// table and one FAT file system per volume, made by mkfs.fat and filled by mcopy from the
// folder's volume1/, volume2/, ... The image's own code never reads or writes FAT.
class GadgetImage final {
 public:
  static constexpr uint64_t kSector = 512;
  static constexpr uint64_t kAlignment = 1U << 20;
  // A volume gets its free space and what it holds, within these bounds: at least what
  // a FAT16 file system formats well, at most what a test machine's scratch space holds
  // without thought (the image is sparse, so an empty volume costs only its tables).
  static constexpr uint64_t kSmallestVolume = 16U << 20;
  static constexpr uint64_t kLargestVolume = 256U << 20;

  struct Partition {
    uint64_t firstSector = 0;
    uint64_t sectors = 0;
    uint64_t offset() const { return firstSector * kSector; }
  };

  // A volume's size for the free space it reports (none: the smallest) and its contents.
  static uint64_t volumeBytes(std::optional<uint64_t> freeBytes, uint64_t usedBytes);
  // Volumes of these sizes one after the other, each starting on a mebibyte.
  static std::vector<Partition> layout(const std::vector<uint64_t>& volumeBytes);
  // The master boot record listing the partitions as FAT16 (LBA) ones.
  static std::array<uint8_t, kSector> masterBootRecord(const std::vector<Partition>& partitions,
                                                       uint32_t diskSignature);

  // Makes `folder`/disk.img for the recorder afresh from its volume folders.
  static std::variant<GadgetImage, QString> create(const QString& folder,
                                                   const VirtualRecorderConfig& config);

  const QString& path() const { return path_; }
  const std::vector<Partition>& partitions() const { return partitions_; }
  // Replaces `folder`/volume1/System/Update with that folder on the image's first volume,
  // so that the recorder applies what the host wrote there; an error message on failure.
  std::optional<QString> takeUpdateFiles() const;

 private:
  GadgetImage(QString folder, QString path, std::vector<Partition> partitions);

  QString folder_;
  QString path_;
  std::vector<Partition> partitions_;
};
