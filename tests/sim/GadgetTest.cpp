#include "app/sim/BulkOnlyTransport.h"
#include "app/sim/GadgetDisk.h"
#include "app/sim/GadgetImage.h"
#include "app/sim/VirtualRecorderTarget.h"
#include "tests/sim/VirtualRecorderFixture.h"

#include <QProcess>

#include <fcntl.h>
#include <unistd.h>

#include <numeric>
#include <optional>
#include <vector>

namespace {

using Status = BulkOnlyTransport::Status;
using Bytes = std::vector<uint8_t>;
constexpr uint32_t kBlocks = 64;

enum class Host { none, in, out };

// A command block wrapper as the host's storage driver sends it.
Bytes wrapper(uint32_t tag, uint32_t length, bool dataIn, const Bytes& cdb) {
  Bytes bytes{0x55, 0x53, 0x42, 0x43};
  bytes.resize(BulkOnlyTransport::kCommandLength);
  qToLittleEndian(tag, &bytes[4]);
  qToLittleEndian(length, &bytes[8]);
  bytes[12] = dataIn ? 0x80 : 0x00;
  bytes[14] = static_cast<uint8_t>(cdb.size());
  std::copy(cdb.begin(), cdb.end(), bytes.begin() + 15);
  return bytes;
}

Bytes read10(uint32_t lba, uint16_t blocks) {
  Bytes cdb{0x28, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  qToBigEndian(lba, &cdb[2]);
  qToBigEndian(blocks, &cdb[7]);
  return cdb;
}

Bytes write10(uint32_t lba, uint16_t blocks) {
  Bytes cdb = read10(lba, blocks);
  cdb[0] = 0x2A;
  return cdb;
}

Bytes sixteen(uint8_t operationCode, uint64_t lba, uint32_t blocks) {
  Bytes cdb(16, 0);
  cdb[0] = operationCode;
  qToBigEndian(lba, &cdb[2]);
  qToBigEndian(blocks, &cdb[10]);
  return cdb;
}

// The virtual recorder's target, a small image of numbered blocks and the transport over
// both, as the gadget runs them.
class GadgetTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { testApplication(); }

  void SetUp() override { open(VirtualRecorderFixture::scsiModel()); }

  void open(const QVariantMap& config) {
    QFile file(dir.filePath(QStringLiteral("recorder.plist")));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(PropertyList::toXml(config));
    file.close();
    auto read = VirtualRecorderConfig::read(dir.path());
    ASSERT_TRUE(std::holds_alternative<VirtualRecorderConfig>(read))
        << std::get<QString>(read).toStdString();
    recorderConfig = std::get<VirtualRecorderConfig>(read);
    target.reset();
    target = std::make_unique<VirtualRecorderTarget>(
        dir.path(), recorderConfig,
        [this](VirtualRecorderTarget::Event event) { events.push_back(event); });
    QFile image(dir.filePath(QStringLiteral("blocks.img")));
    ASSERT_TRUE(image.open(QIODevice::WriteOnly));
    for (uint32_t block = 0; block < kBlocks; ++block) {
      image.write(QByteArray(GadgetDisk::kBlockSize, static_cast<char>(block)));
    }
    image.close();
    useImage(image.fileName());
  }

  void useImage(const QString& path, std::function<void()> beforeFinish = {}) {
    if (fd >= 0) {
      ::close(fd);
    }
    fd = ::open(QFile::encodeName(path).constData(), O_RDWR);
    disk = std::make_unique<GadgetDisk>(
        fd, GadgetDisk::identity(recorderConfig, recorderConfig.firmwareVersion), *target,
        std::move(beforeFinish));
    transport = std::make_unique<BulkOnlyTransport>(*disk);
  }

  void TearDown() override { ::close(fd); }

  BulkOnlyTransport::Reply send(const Bytes& cdb, Host host, uint32_t length, Bytes out = {}) {
    const auto command = BulkOnlyTransport::parse(wrapper(++tag, length, host == Host::in, cdb));
    EXPECT_TRUE(command.has_value());
    if (host == Host::out && out.empty()) {
      out.assign(length, 0xA5);
    }
    return transport->answer(*command, out);
  }

  static Status status(const BulkOnlyTransport::Reply& reply) {
    return static_cast<Status>(reply.status[12]);
  }
  static uint32_t residue(const BulkOnlyTransport::Reply& reply) {
    return qFromLittleEndian<uint32_t>(&reply.status[8]);
  }
  // Sense key, code and qualifier of the last command, as the host asks for them.
  std::array<uint8_t, 3> sense() {
    const auto reply = send({0x03, 0, 0, 0, 18, 0}, Host::in, 18);
    EXPECT_EQ(reply.dataIn.size(), 18U);
    return {static_cast<uint8_t>(reply.dataIn.at(2) & 0x0F), reply.dataIn.at(12),
            reply.dataIn.at(13)};
  }

  QTemporaryDir temporary;
  QDir dir{temporary.path()};
  VirtualRecorderConfig recorderConfig;
  std::unique_ptr<VirtualRecorderTarget> target;
  std::vector<VirtualRecorderTarget::Event> events;
  int fd = -1;
  std::unique_ptr<GadgetDisk> disk;
  std::unique_ptr<BulkOnlyTransport> transport;
  uint32_t tag = 0x100;
};

TEST_F(GadgetTest, OnlyValidAndMeaningfulCommandWrappersAreTaken) {
  const Bytes good = wrapper(0xCAFE, 36, true, {0x12, 0, 0, 0, 36, 0});
  const auto parsed = BulkOnlyTransport::parse(good);
  ASSERT_TRUE(parsed);
  EXPECT_EQ(parsed->tag, 0xCAFEU);
  EXPECT_EQ(parsed->dataTransferLength, 36U);
  EXPECT_TRUE(parsed->dataIn);
  EXPECT_EQ(parsed->cdb, (Bytes{0x12, 0, 0, 0, 36, 0}));

  const std::vector<std::pair<const char*, std::function<void(Bytes&)>>> broken{
      {"short", [](Bytes& b) { b.pop_back(); }},
      {"long", [](Bytes& b) { b.push_back(0); }},
      {"signature", [](Bytes& b) { b[3] = 0x44; }},
      {"reserved flag bits", [](Bytes& b) { b[12] |= 0x01; }},
      {"second unit", [](Bytes& b) { b[13] = 1; }},
      {"empty command block", [](Bytes& b) { b[14] = 0; }},
      {"command block over 16", [](Bytes& b) { b[14] = 17; }},
  };
  for (const auto& [name, breakIt] : broken) {
    Bytes bytes = good;
    breakIt(bytes);
    EXPECT_FALSE(BulkOnlyTransport::parse(bytes)) << name;
  }
}

// The host's expectation against what the command means, case by case.
TEST_F(GadgetTest, HostAndDeviceDisagreementsFollowTheThirteenCases) {
  const Bytes testUnitReady(6, 0);
  const Bytes inquiry{0x12, 0, 0, 0, 36, 0};
  struct Row {
    int number;
    Bytes cdb;
    Host host;
    uint32_t length;
    Status status;
    uint32_t residue;
    size_t dataIn;
    bool haltIn;
  };
  const std::vector<Row> rows{
      {1, testUnitReady, Host::none, 0, Status::passed, 0, 0, false},
      {2, read10(0, 1), Host::none, 0, Status::phaseError, 0, 0, false},
      {3, write10(0, 1), Host::none, 0, Status::phaseError, 0, 0, false},
      {4, testUnitReady, Host::in, 512, Status::passed, 512, 0, true},
      {5, inquiry, Host::in, 64, Status::passed, 28, 36, true},
      {6, read10(0, 1), Host::in, 512, Status::passed, 0, 512, false},
      {7, read10(0, 2), Host::in, 512, Status::phaseError, 0, 512, false},
      {8, write10(0, 1), Host::in, 512, Status::phaseError, 512, 0, true},
      {9, testUnitReady, Host::out, 512, Status::passed, 512, 0, false},
      {10, read10(0, 1), Host::out, 512, Status::phaseError, 512, 0, false},
      {11, write10(0, 1), Host::out, 1024, Status::passed, 512, 0, false},
      {12, write10(0, 1), Host::out, 512, Status::passed, 0, 0, false},
      {13, write10(0, 2), Host::out, 512, Status::phaseError, 512, 0, false},
  };
  for (const Row& row : rows) {
    const auto reply = send(row.cdb, row.host, row.length);
    EXPECT_EQ(status(reply), row.status) << "case " << row.number;
    EXPECT_EQ(residue(reply), row.residue) << "case " << row.number;
    EXPECT_EQ(reply.dataIn.size(), row.dataIn) << "case " << row.number;
    EXPECT_EQ(reply.haltIn, row.haltIn) << "case " << row.number;
    EXPECT_EQ(qFromLittleEndian<uint32_t>(&reply.status[4]), tag) << "case " << row.number;
    EXPECT_EQ(qFromLittleEndian<uint32_t>(reply.status.data()), 0x53425355U);
  }
}

TEST_F(GadgetTest, DiskCommandsAnswerOrFailWithFixedFormatSense) {
  struct Row {
    const char* name;
    Bytes cdb;
    uint32_t length;
    Status status;
    std::array<uint8_t, 3> sense;
    std::function<void(const Bytes&)> check;
  };
  const std::array<uint8_t, 3> none{};
  const std::array<uint8_t, 3> invalidField{0x05, 0x24, 0};
  const std::array<uint8_t, 3> outOfRange{0x05, 0x21, 0};
  const auto hasCachingPage = [](size_t header) {
    return [header](const Bytes& data) {
      ASSERT_GT(data.size(), header + 1);
      EXPECT_EQ(data[header], 0x08);
      EXPECT_EQ(data[header == 4 ? 2 : 3] & 0x80, 0) << "write-protected";
    };
  };
  const std::vector<Row> rows{
      {"inquiry",
       {0x12, 0, 0, 0, 36, 0},
       36,
       Status::passed,
       none,
       [](const Bytes& data) {
         EXPECT_EQ(data[0], 0x00);  // a direct-access device
         EXPECT_EQ(data[1], 0x80);  // with a removable medium
         EXPECT_EQ(std::string(data.begin() + 8, data.begin() + 36),
                   "VELMORA DR-41           1.00");
       }},
      {"vital product data", {0x12, 1, 0x80, 0, 255, 0}, 255, Status::failed, invalidField, {}},
      {"read capacity 10",
       {0x25, 0, 0, 0, 0, 0, 0, 0, 0, 0},
       8,
       Status::passed,
       none,
       [](const Bytes& data) {
         EXPECT_EQ(qFromBigEndian<uint32_t>(data.data()), kBlocks - 1);
         EXPECT_EQ(qFromBigEndian<uint32_t>(&data[4]), 512U);
       }},
      {"read capacity 16",
       {0x9E, 0x10, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 32, 0, 0},
       32,
       Status::passed,
       none,
       [](const Bytes& data) {
         EXPECT_EQ(qFromBigEndian<uint64_t>(data.data()), kBlocks - 1);
         EXPECT_EQ(qFromBigEndian<uint32_t>(&data[8]), 512U);
       }},
      {"mode sense 6, all pages",
       {0x1A, 0, 0x3F, 0, 192, 0},
       192,
       Status::passed,
       none,
       hasCachingPage(4)},
      {"mode sense 10, caching",
       {0x5A, 0, 0x08, 0, 0, 0, 0, 0, 192, 0},
       192,
       Status::passed,
       none,
       hasCachingPage(8)},
      {"mode sense, unknown page",
       {0x1A, 0, 0x1C, 0, 192, 0},
       192,
       Status::failed,
       invalidField,
       {}},
      {"read 10 past the end", read10(kBlocks - 1, 2), 1024, Status::failed, outOfRange, {}},
      {"read 16 past the end", sixteen(0x88, kBlocks, 1), 512, Status::failed, outOfRange, {}},
      {"write 16 past the end",
       sixteen(0x8A, uint64_t{1} << 40, 1),
       512,
       Status::failed,
       outOfRange,
       {}},
      {"report luns",
       {0xA0, 0, 0, 0, 0, 0, 0, 0, 0, 16, 0, 0},
       16,
       Status::failed,
       std::array<uint8_t, 3>{0x05, 0x20, 0},
       {}},
      {"test unit ready", Bytes(6, 0), 0, Status::passed, none, {}},
      {"prevent removal", {0x1E, 0, 0, 0, 1, 0}, 0, Status::passed, none, {}},
      {"start stop unit", {0x1B, 0, 0, 0, 1, 0}, 0, Status::passed, none, {}},
      {"synchronize cache", {0x35, 0, 0, 0, 0, 0, 0, 0, 0, 0}, 0, Status::passed, none, {}},
  };
  for (const Row& row : rows) {
    const bool out = row.cdb[0] == 0x8A;
    const auto reply = send(row.cdb,
                            row.length == 0 ? Host::none
                            : out           ? Host::out
                                            : Host::in,
                            row.length);
    EXPECT_EQ(status(reply), row.status) << row.name;
    EXPECT_EQ(sense(), row.sense) << row.name;
    if (row.check) {
      row.check(reply.dataIn);
    }
  }
  EXPECT_EQ(sense(), none) << "sense is given once";
}

TEST_F(GadgetTest, WrittenBlocksReadBackFromTheImage) {
  Bytes data(1024);
  std::iota(data.begin(), data.end(), 0);
  EXPECT_EQ(status(send(sixteen(0x8A, 5, 2), Host::out, 1024, data)), Status::passed);
  const auto reply = send(read10(5, 2), Host::in, 1024);
  EXPECT_EQ(reply.dataIn, data);
  const auto next = send(read10(7, 1), Host::in, 512);
  EXPECT_EQ(next.dataIn, Bytes(512, 7)) << "the blocks beyond are untouched";
}

TEST_F(GadgetTest, VendorCommandsReachTheRecorderWithItsFaultsAndTranscript) {
  open(VirtualRecorderFixture::scsiModel(
      {{QStringLiteral("faults"),
        QVariantList{QVariantMap{{QStringLiteral("kind"), QStringLiteral("checkCondition")},
                                 {QStringLiteral("command"), QStringLiteral("ReadRecorderItem")},
                                 {QStringLiteral("occurrence"), qint64{2}}}}}}));
  const Bytes modelName{0xE0, 0x00, 0x00, 0x08, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  const auto first = send(modelName, Host::in, 8);
  EXPECT_EQ(status(first), Status::passed);
  EXPECT_EQ(std::string(first.dataIn.begin(), first.dataIn.end()), std::string("DR-41\0\0\0", 8));

  EXPECT_EQ(status(send(modelName, Host::in, 8)), Status::failed);
  EXPECT_EQ(sense(), (std::array<uint8_t, 3>{0x04, 0x44, 0x00})) << "the recorder's own sense";

  const Bytes modeChange{0xE2, 0x02, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  EXPECT_EQ(status(send(modeChange, Host::none, 0)), Status::passed);
  EXPECT_EQ(events, std::vector{VirtualRecorderTarget::Event::modeChanged});
  QFile transcript(dir.filePath(QStringLiteral("transcript.txt")));
  ASSERT_TRUE(transcript.open(QIODevice::ReadOnly));
  EXPECT_EQ(transcript.readAll().count('\n'), 3) << "vendor commands only, disk commands not";
}

TEST_F(GadgetTest, AFileCopyUpdateAppliesWhatTheHostWroteOntoTheFirstVolume) {
  QVariantMap model = VirtualRecorderFixture::scsiModel(
      {{QStringLiteral("needsModeChange"), false},
       {QStringLiteral("volumes"),
        QVariantList{QVariantMap{{QStringLiteral("freeBytes"), qint64{3} << 30}},
                     QVariantMap{{QStringLiteral("freeBytes"), qint64{0}}}}}});
  model.remove(QStringLiteral("flashAreas"));
  open(model);
  ASSERT_TRUE(dir.mkpath(QStringLiteral("volume1/Recordings")));
  QFile recording(dir.filePath(QStringLiteral("volume1/Recordings/R001.WAV")));
  ASSERT_TRUE(recording.open(QIODevice::WriteOnly));
  recording.write("riff");
  recording.close();

  auto created = GadgetImage::create(dir.path(), recorderConfig);
  ASSERT_TRUE(std::holds_alternative<GadgetImage>(created))
      << std::get<QString>(created).toStdString();
  const auto& image = std::get<GadgetImage>(created);
  ASSERT_EQ(image.partitions().size(), 2U);
  EXPECT_EQ(image.partitions()[0].sectors * 512, GadgetImage::kLargestVolume) << "capped";
  EXPECT_EQ(image.partitions()[1].sectors * 512, GadgetImage::kSmallestVolume);
  EXPECT_EQ(image.partitions()[1].firstSector,
            image.partitions()[0].firstSector + image.partitions()[0].sectors);
  useImage(image.path(), [&image] { EXPECT_FALSE(image.takeUpdateFiles()); });

  // The host's side: the partition table as a kernel reads it, the volume as mtools reads it.
  const auto table = send(read10(0, 1), Host::in, 512).dataIn;
  EXPECT_EQ(qFromLittleEndian<uint32_t>(&table[446 + 8]), image.partitions()[0].firstSector);
  EXPECT_EQ(qFromLittleEndian<uint32_t>(&table[462 + 12]), image.partitions()[1].sectors);
  EXPECT_EQ(table[510], 0x55);
  const QString volume =
      QStringLiteral("%1@@%2").arg(image.path()).arg(image.partitions()[0].offset());
  QFile package(dir.filePath(QStringLiteral("FW.BIN")));
  ASSERT_TRUE(package.open(QIODevice::WriteOnly));
  package.write("firmware");
  package.close();
  QProcess mtools;
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  environment.insert(QStringLiteral("MTOOLS_SKIP_CHECK"), QStringLiteral("1"));
  mtools.setProcessEnvironment(environment);
  for (const QStringList& arguments :
       {QStringList{QStringLiteral("mmd"), QStringLiteral("-i"), volume,
                    QStringLiteral("::/System"), QStringLiteral("::/System/Update")},
        QStringList{QStringLiteral("mcopy"), QStringLiteral("-i"), volume, package.fileName(),
                    QStringLiteral("::/System/Update/FW.BIN")},
        QStringList{QStringLiteral("mtype"), QStringLiteral("-i"), volume,
                    QStringLiteral("::/Recordings/R001.WAV")}}) {
    mtools.start(arguments.front(), arguments.mid(1));
    ASSERT_TRUE(mtools.waitForFinished());
    EXPECT_EQ(mtools.exitCode(), 0) << mtools.readAllStandardError().toStdString();
  }
  EXPECT_EQ(mtools.readAllStandardOutput(), "riff") << "the folder's contents are on the volume";

  Bytes start{0xE4, 0x00};
  start.resize(16);
  Bytes finish{0xE4, 0x03};
  finish.resize(16);
  EXPECT_EQ(status(send(start, Host::in, 2)), Status::passed);
  EXPECT_EQ(status(send(finish, Host::none, 0)), Status::passed);
  EXPECT_EQ(events, std::vector{VirtualRecorderTarget::Event::updateApplied});
  const QVariantList applied = target->state().applied;
  ASSERT_EQ(applied.size(), 1);
  const QVariantList files = applied[0].toMap().value(QStringLiteral("files")).toList();
  ASSERT_EQ(files.size(), 1);
  EXPECT_EQ(files[0].toMap().value(QStringLiteral("name")).toString(), QStringLiteral("FW.BIN"));
  EXPECT_EQ(files[0].toMap().value(QStringLiteral("bytes")).toInt(), 8);
}

}  // namespace
