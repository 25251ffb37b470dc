#include "app/sim/GadgetImage.h"

#include "app/sim/VirtualRecorderConfig.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QProcess>
#include <QtEndian>

#include <algorithm>

namespace {

constexpr uint8_t kFat16Lba = 0x0E;
constexpr size_t kPartitionTableAt = 446;
constexpr size_t kEntryLength = 16;

QString volumeFolder(const QString& folder, size_t number) {
  return QDir(folder).filePath(QStringLiteral("volume%1").arg(number));
}

uint64_t usedBytes(const QString& path) {
  uint64_t bytes = 0;
  QDirIterator it(path, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
  while (it.hasNext()) {
    it.next();
    bytes += static_cast<uint64_t>(it.fileInfo().size());
  }
  return bytes;
}

// Runs an mtools or dosfstools program; its error output on failure.
std::optional<QString> run(const QString& program, const QStringList& arguments) {
  QProcess process;
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  environment.insert(QStringLiteral("MTOOLS_SKIP_CHECK"), QStringLiteral("1"));
  process.setProcessEnvironment(environment);
  process.start(program, arguments);
  if (!process.waitForFinished(-1) || process.exitStatus() != QProcess::NormalExit ||
      process.exitCode() != 0) {
    const QString output = QString::fromLocal8Bit(process.readAllStandardError()).trimmed();
    return QStringLiteral("%1 failed: %2")
        .arg(program, output.isEmpty() ? process.errorString() : output);
  }
  return std::nullopt;
}

QString onVolume(const QString& image, const GadgetImage::Partition& partition) {
  return QStringLiteral("%1@@%2").arg(image).arg(partition.offset());
}

}  // namespace

GadgetImage::GadgetImage(QString folder, QString path, std::vector<Partition> partitions)
    : folder_(std::move(folder)), path_(std::move(path)), partitions_(std::move(partitions)) {}

uint64_t GadgetImage::volumeBytes(std::optional<uint64_t> freeBytes, uint64_t usedBytes) {
  // Room for the contents and the file system's own tables beside the free space.
  const uint64_t wanted = freeBytes.value_or(0) + usedBytes + kAlignment;
  const uint64_t rounded = (std::min(wanted, kLargestVolume) + kAlignment - 1) / kAlignment;
  return std::max(rounded * kAlignment, kSmallestVolume);
}

std::vector<GadgetImage::Partition> GadgetImage::layout(const std::vector<uint64_t>& volumeBytes) {
  std::vector<Partition> partitions;
  uint64_t next = kAlignment / kSector;
  for (const uint64_t bytes : volumeBytes) {
    const uint64_t sectors = (bytes + kAlignment - 1) / kAlignment * (kAlignment / kSector);
    partitions.push_back({next, sectors});
    next += sectors;
  }
  return partitions;
}

std::array<uint8_t, GadgetImage::kSector> GadgetImage::masterBootRecord(
    const std::vector<Partition>& partitions, uint32_t diskSignature) {
  std::array<uint8_t, kSector> record{};
  qToLittleEndian<uint32_t>(diskSignature, &record[440]);
  for (size_t index = 0; index < std::min<size_t>(partitions.size(), 4); ++index) {
    uint8_t* entry = &record[kPartitionTableAt + index * kEntryLength];
    // Addresses beyond what cylinders, heads and sectors can say: the largest CHS value.
    const std::array<uint8_t, 3> beyond{0xFE, 0xFF, 0xFF};
    std::copy(beyond.begin(), beyond.end(), entry + 1);
    entry[4] = kFat16Lba;
    std::copy(beyond.begin(), beyond.end(), entry + 5);
    qToLittleEndian<uint32_t>(static_cast<uint32_t>(partitions[index].firstSector), entry + 8);
    qToLittleEndian<uint32_t>(static_cast<uint32_t>(partitions[index].sectors), entry + 12);
  }
  record[510] = 0x55;
  record[511] = 0xAA;
  return record;
}

std::variant<GadgetImage, QString> GadgetImage::create(const QString& folder,
                                                       const VirtualRecorderConfig& config) {
  std::vector<uint64_t> sizes;
  for (size_t number = 1; number <= config.volumeFreeBytes.size(); ++number) {
    sizes.push_back(
        volumeBytes(config.volumeFreeBytes[number - 1], usedBytes(volumeFolder(folder, number))));
  }
  const std::vector<Partition> partitions = layout(sizes);
  const QString path = QDir(folder).filePath(QStringLiteral("disk.img"));
  QFile image(path);
  const auto record = masterBootRecord(partitions, static_cast<uint32_t>(qHash(folder)));
  const uint64_t end = partitions.empty()
                           ? kAlignment
                           : (partitions.back().firstSector + partitions.back().sectors) * kSector;
  if (!image.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
      image.write(reinterpret_cast<const char*>(record.data()), record.size()) !=
          static_cast<qint64>(record.size()) ||
      !image.resize(static_cast<qint64>(end))) {
    return QStringLiteral("%1: %2").arg(path, image.errorString());
  }
  image.close();
  for (size_t index = 0; index < partitions.size(); ++index) {
    const Partition& partition = partitions[index];
    const QString label = QStringLiteral("VOLUME%1").arg(index + 1);
    if (auto error = run(QStringLiteral("mkfs.fat"),
                         {QStringLiteral("-F"), QStringLiteral("16"), QStringLiteral("-n"), label,
                          QStringLiteral("--offset=%1").arg(partition.firstSector), path,
                          QString::number(partition.sectors * kSector / 1024)})) {
      return *error;
    }
    const QDir contents(volumeFolder(folder, index + 1));
    const QStringList names =
        contents.entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    if (names.isEmpty()) {
      continue;
    }
    QStringList arguments{QStringLiteral("-s"), QStringLiteral("-m"), QStringLiteral("-Q"),
                          QStringLiteral("-i"), onVolume(path, partition)};
    for (const QString& name : names) {
      arguments.append(contents.filePath(name));
    }
    arguments.append(QStringLiteral("::/"));
    if (auto error = run(QStringLiteral("mcopy"), arguments)) {
      return *error;
    }
  }
  return GadgetImage(folder, path, partitions);
}

std::optional<QString> GadgetImage::takeUpdateFiles() const {
  const QDir system(QDir(volumeFolder(folder_, 1)).filePath(QStringLiteral("System")));
  const QString update = system.filePath(QStringLiteral("Update"));
  if (!QDir(update).removeRecursively() || !system.mkpath(QStringLiteral("."))) {
    return QStringLiteral("%1: cannot be replaced").arg(update);
  }
  const QString source = QStringLiteral("::/System/Update");
  // A volume without that folder leaves none: the recorder then has nothing to apply.
  if (partitions_.empty() ||
      run(QStringLiteral("mdir"), {QStringLiteral("-b"), QStringLiteral("-i"),
                                   onVolume(path_, partitions_.front()), source})) {
    return std::nullopt;
  }
  return run(
      QStringLiteral("mcopy"),
      {QStringLiteral("-s"), QStringLiteral("-n"), QStringLiteral("-m"), QStringLiteral("-i"),
       onVolume(path_, partitions_.front()), source, system.path() + QLatin1Char('/')});
}
