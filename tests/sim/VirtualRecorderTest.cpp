#include "tests/sim/VirtualRecorderFixture.h"
#include "tests/support/QStringPrinter.h"

// What the update runs and the procedure tests, which drive the virtual recorder as the
// application does, never reach: configurations it refuses and commands a careful device
// refuses.

using namespace Qt::StringLiterals;

namespace {

constexpr uint32_t kArea = 0x40000;
constexpr uint32_t kAreaLength = 0x30000;

QVariantMap fault(const QString& kind, const QVariantMap& parameters = {}) {
  QVariantMap map = parameters;
  map.insert(u"kind"_s, kind);
  return map;
}

}  // namespace

TEST(VirtualRecorderConfigTest, RefusesWhatItDoesNotUnderstand) {
  const auto base = VirtualRecorderFixture::scsiModel();
  const struct {
    QString key;
    QVariant value;
    const char* message;
  } cases[] = {
      {u"colour"_s, u"red"_s, "unknown key \"colour\""},
      {u"modelName"_s, u"DR-410-LONG"_s, "longer than 8 bytes"},
      {u"vendorId"_s, u"F7A1"_s, "\"vendorId\" must be an integer"},
      {u"vendorId"_s, qint64{0x10000}, "\"vendorId\" must be an integer"},
      {u"restartSeconds"_s, -1.0, "\"restartSeconds\" must be a number from 0 to 300"},
      {u"restartSeconds"_s, 1e9, "\"restartSeconds\" must be a number from 0 to 300"},
      {u"flashAreas"_s,
       QVariantMap{
           {u"dsp"_s, QVariantMap{{u"address"_s, qint64{0}}, {u"length"_s, qint64{1} << 30}}}},
       "\"length\" must be an integer from 1 to 67108864"},
      {u"volumes"_s, QVariantList{QVariantMap{{u"size"_s, 1}}}, "volumes[0]: unknown key \"size\""},
      {u"flashAreas"_s, QVariantMap{{u"main"_s, QVariantMap{}}},
       "flashAreas: unknown key \"main\""},
      {u"faults"_s, QVariantList{fault(u"explode"_s)}, "faults[0]: unknown kind \"explode\""},
      {u"faults"_s, QVariantList{fault(u"vanish"_s, {{u"after"_s, 3}})},
       "faults[0]: unknown key \"after\""},
      {u"faults"_s, QVariantList{fault(u"checkCondition"_s, {{u"command"_s, u"UploadFirmware"_s}})},
       "unknown command \"UploadFirmware\""},
      {u"faults"_s, QVariantList{fault(u"rate"_s, {{u"bytesPerSecond"_s, 0.0}})},
       "\"bytesPerSecond\" must be a number from 1024"},
      {u"faults"_s, QVariantList{fault(u"latency"_s, {{u"seconds"_s, 86400}})},
       "\"seconds\" must be a number from 0 to 300"},
  };
  for (const auto& c : cases) {
    QVariantMap map = base;
    map.insert(c.key, c.value);
    const auto read = VirtualRecorderConfig::fromMap(map);
    ASSERT_TRUE(std::holds_alternative<QString>(read)) << c.message;
    EXPECT_TRUE(std::get<QString>(read).contains(QLatin1String(c.message)))
        << std::get<QString>(read).toStdString();
  }
  QVariantMap missing = base;
  missing.remove(u"serialNumber"_s);
  const auto read = VirtualRecorderConfig::fromMap(missing);
  ASSERT_TRUE(std::holds_alternative<QString>(read));
  EXPECT_EQ(std::get<QString>(read), u"\"serialNumber\" is missing"_s);
}

class VirtualRecorderTest : public VirtualRecorderFixture {};

TEST_F(VirtualRecorderTest, RefusesCommandsACarefulDeviceRefuses) {
  attach(scsiModel());
  const QByteArray in(65536, '\0');
  const QByteArray piece(65536, 'x');
  const QByteArray none;
  const struct {
    std::array<uint8_t, 16> cdb;
    ScsiDataDirection direction;
    QByteArray data;
    const char* sense;
    const char* what;
  } refused[] = {
      {update(0x02, 65536), ScsiDataDirection::dataOut, piece, "05/2c", "upload before start"},
      {update(0x03), ScsiDataDirection::noData, none, "05/2c", "finish before start"},
      {update(0x05, 65536), ScsiDataDirection::dataIn, in, "05/2c", "verify before verify start"},
      {update(0x00, kArea + 1, kAreaLength), ScsiDataDirection::dataIn, in, "05/24",
       "start at a wrong address"},
      {update(0x00, kArea, kAreaLength, 1), ScsiDataDirection::dataIn, in, "05/24",
       "start on a processor without flash"},
      {update(0x00, 0, 0), ScsiDataDirection::dataIn, in, "05/24",
       "file-copy start on a flash recorder"},
      {update(0x00, kArea, kAreaLength), ScsiDataDirection::noData, none, "05/24",
       "start without its data phase"},
      {update(0x00, kArea, kAreaLength), ScsiDataDirection::dataIn, in, "", "start"},
      {update(0x02, 65536), ScsiDataDirection::dataOut, piece, "02/04", "upload while preparing"},
      {update(0x01), ScsiDataDirection::dataIn, in, "", "ready 2"},
      {update(0x01), ScsiDataDirection::dataIn, in, "", "ready 1"},
      {update(0x01), ScsiDataDirection::dataIn, in, "", "ready 0"},
      {update(0x02, 65537), ScsiDataDirection::dataOut, piece + "y", "05/24", "piece above 64 KiB"},
      {update(0x02, 100), ScsiDataDirection::dataOut, piece, "05/24",
       "length differs from the data"},
      {update(0x02, 65536), ScsiDataDirection::dataOut, piece, "", "piece 1"},
      {update(0x02, 65536), ScsiDataDirection::dataOut, piece, "", "piece 2"},
      {update(0x02, 65536), ScsiDataDirection::dataOut, piece, "", "piece 3"},
      {update(0x02, 65536), ScsiDataDirection::dataOut, piece, "05/21",
       "piece beyond the announced area"},
      {{0x12, 0, 0, 0, 36}, ScsiDataDirection::dataIn, in, "05/20", "a command it does not know"},
      {{0xE0, 0x05, 0, 8}, ScsiDataDirection::dataIn, in, "05/24", "an item it does not know"},
      {{0xE2, 0x03}, ScsiDataDirection::noData, none, "05/24", "a mode that does not exist"},
  };
  for (const auto& c : refused) {
    const ScsiOutcome outcome = send(c.cdb, c.direction, c.data);
    if (*c.sense == '\0') {
      EXPECT_EQ(outcome.result, kIOReturnSuccess) << c.what;
      EXPECT_EQ(outcome.status, 0U) << c.what;
    } else {
      // "key/asc" of the CHECK CONDITION.
      EXPECT_EQ(outcome.result, kIOReturnIOError) << c.what;
      EXPECT_EQ(outcome.status, 2U) << c.what;
      EXPECT_EQ(QStringLiteral("%1/%2")
                    .arg(outcome.sense[2], 2, 16, QLatin1Char('0'))
                    .arg(outcome.sense[12], 2, 16, QLatin1Char('0')),
                QLatin1String(c.sense))
          << c.what;
    }
  }
}

// A recorder slower than a command's time-out: the host gives up and the command is not
// carried out (here, the mode change would have restarted it).
TEST_F(VirtualRecorderTest, ACommandSlowerThanItsTimeOutTimesOut) {
  attach(scsiModel({{u"faults"_s, QVariantList{fault(u"latency"_s, {{u"seconds"_s, 0.5}})}}}));
  const std::array<uint8_t, 16> modeChange{0xE2, 0x01};
  const ScsiOutcome outcome = sendScsiCommand(&rack->registry(), connection,
                                              ScsiDataDirection::noData, modeChange, {}, 100);
  EXPECT_EQ(outcome.result, kIOReturnTimeout);
  EXPECT_EQ(outcome.status, ScsiTaskStatus::kTaskTimeoutOccurred);
  EXPECT_TRUE(connect()) << "the recorder restarted";
}

// A state file that does not parse would be replaced, and the record of applied updates lost.
TEST_F(VirtualRecorderTest, AStateFileItCannotReadKeepsTheRecorderOut) {
  const QDir dir(folder.path());
  QFile state(dir.filePath(u"state.plist"_s));
  ASSERT_TRUE(state.open(QIODevice::WriteOnly));
  state.write("<plist><dict><key>applied</key>");
  state.close();
  QFile config(dir.filePath(u"recorder.plist"_s));
  ASSERT_TRUE(config.open(QIODevice::WriteOnly));
  config.write(PropertyList::toXml(scsiModel()));
  config.close();
  const auto installed = VirtualRecorderRack::install({folder.path()});
  ASSERT_TRUE(std::holds_alternative<QString>(installed));
  EXPECT_TRUE(std::get<QString>(installed).contains(u"state.plist: not a property list"_s))
      << std::get<QString>(installed).toStdString();
}
