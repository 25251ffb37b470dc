#include "tests/sim/VirtualRecorderFixture.h"
#include "tests/support/QStringPrinter.h"

#include <chrono>

using namespace Qt::StringLiterals;

using namespace std::chrono_literals;

namespace {

constexpr uint32_t kArea = 0x40000;
constexpr uint32_t kAreaLength = 0x30000;

QVariantMap withFaults(const QVariantList& faults) {
  return VirtualRecorderFixture::scsiModel({{u"faults"_s, faults}});
}

QVariantMap fault(const QString& kind, const QVariantMap& parameters = {}) {
  QVariantMap map = parameters;
  map.insert(u"kind"_s, kind);
  return map;
}

QByteArray image(qsizetype size) {
  QByteArray bytes(size, '\0');
  for (qsizetype i = 0; i < size; ++i) {
    bytes[i] = static_cast<char>((i * 7 + i / 251) & 0xFF);
  }
  return bytes;
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
      {u"restartSeconds"_s, -1.0, "\"restartSeconds\" must be a number"},
      {u"volumes"_s, QVariantList{QVariantMap{{u"size"_s, 1}}}, "volumes[0]: unknown key \"size\""},
      {u"flashAreas"_s, QVariantMap{{u"main"_s, QVariantMap{}}},
       "flashAreas: unknown key \"main\""},
      {u"faults"_s, QVariantList{fault(u"explode"_s)}, "faults[0]: unknown kind \"explode\""},
      {u"faults"_s, QVariantList{fault(u"vanish"_s, {{u"after"_s, 3}})},
       "faults[0]: unknown key \"after\""},
      {u"faults"_s, QVariantList{fault(u"checkCondition"_s, {{u"command"_s, u"UploadFirmware"_s}})},
       "unknown command \"UploadFirmware\""},
      {u"faults"_s, QVariantList{fault(u"rate"_s, {{u"bytesPerSecond"_s, 0.0}})},
       "must be above 0"},
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

TEST_F(VirtualRecorderTest, AnswersEveryItemInTheLayoutTheApplicationDecodes) {
  QVariantMap config = scsiModel({{u"deviceId"_s, qint64{0}},
                                  {u"productInformation"_s, QVariantList{u"KVA0-0421"_s, u"é"_s}}});
  attach(config);
  const Reply model = read(0x00, 8);
  EXPECT_EQ(model.status, 0U);
  EXPECT_EQ(model.data.left(10), QByteArray("DR-41\0\0\0\0\0", 10));

  const Reply version = read(0x02, 18);
  EXPECT_EQ(version.data.left(18), QByteArray("Ver 1.00\x02\x01Ver 0.10", 18));

  const Reply serial = read(0x06, 256);
  EXPECT_EQ(serial.data.left(7), QByteArray("\x05S0001\0", 7));

  EXPECT_EQ(read(0x0B, 4).data.left(4), QByteArray(4, '\0'));

  const Reply info = read(0x17, 394);
  const QByteArray expected = QByteArray("\x02\0\0\0", 4) +
                              QByteArray(
                                  "\x0AK\0V\0A\0"
                                  "0\0-\0"
                                  "0\0"
                                  "4\0"
                                  "2\0"
                                  "1\0\0\0",
                                  21) +
                              QByteArray("\x02\xE9\0\0\0", 5);
  EXPECT_EQ(info.data.left(expected.size()), expected);

  // The allocation length bounds the answer, as with any SCSI device.
  EXPECT_EQ(read(0x02, 4).data.left(8), QByteArray("Ver \0\0\0\0", 8));

  const Reply unknownItem = read(0x05, 8);
  EXPECT_EQ(unknownItem.status, 2U);
  EXPECT_EQ(unknownItem.senseCode(), u"05/24"_s);
  EXPECT_TRUE(transcript().startsWith(
      u"E0 00 00 08 00 00 00 00 00 00 00 00 00 00 00 00 in 65536 GOOD\n"_s));
  EXPECT_TRUE(transcript().endsWith(
      QStringLiteral("E0 05 00 08 00 00 00 00 00 00 00 00 00 00 00 00 in 65536 "
                     "CHECK CONDITION 05/24/00\n")));
}

TEST_F(VirtualRecorderTest, StoresAnUploadVerifiesItAndRestartsWithTheNewFirmware) {
  attach(scsiModel());
  const Reply started = send(update(0x00, kArea, kAreaLength), Direction::in, QByteArray(65536, 0));
  EXPECT_EQ(started.data.left(2), QByteArray("\0\x03", 2));
  for (const char* count : {"\0\x02", "\0\x01", "\0\0"}) {
    EXPECT_EQ(send(update(0x01), Direction::in, QByteArray(65536, 0)).data.left(2),
              QByteArray(count, 2));
  }
  const QByteArray firmware = image(65536 + 100);
  EXPECT_EQ(send(update(0x02, 65536), Direction::out, firmware.left(65536)).status, 0U);
  EXPECT_EQ(send(update(0x02, 100), Direction::out, firmware.mid(65536)).status, 0U);
  EXPECT_EQ(send(update(0x03), Direction::none).status, 0U);

  EXPECT_EQ(send(update(0x04, kArea, kAreaLength), Direction::none).status, 0U);
  const Reply first = send(update(0x05, 65536), Direction::in, QByteArray(65536, 0));
  const Reply second = send(update(0x05, 65536), Direction::in, QByteArray(65536, 0));
  EXPECT_EQ(first.data, firmware.left(65536));
  EXPECT_EQ(second.data.left(101), firmware.mid(65536) + QByteArray(1, '\xFF'));
  EXPECT_EQ(send(update(0x06), Direction::none).status, 0U);

  // Gone at once, back after its restart time with the new label.
  EXPECT_EQ(read(0x00, 8).result, kIOReturnInvalidConnection);
  EXPECT_TRUE(rack->volumes().mountedVolumes().empty());
  ASSERT_TRUE(recorder().waitUntilPluggedIn(10s));
  ASSERT_TRUE(connect());
  EXPECT_EQ(read(0x02, 18).data.left(8), QByteArray("Ver 1.10"));
  const QString path = folder.filePath(u"flash-dsp.bin"_s);
  QFile flash(path);
  ASSERT_TRUE(flash.open(QIODevice::ReadOnly));
  const QByteArray stored = flash.readAll();
  EXPECT_EQ(stored.size(), kAreaLength);
  EXPECT_EQ(stored.left(firmware.size()), firmware);
  const auto state = PropertyList::readDictionaryFile(folder.filePath(u"state.plist"_s));
  ASSERT_TRUE(state);
  EXPECT_EQ(state->value(u"firmwareVersion"_s), u"Ver 1.10"_s);
  EXPECT_EQ(state->value(u"applied"_s).toList().size(), 1);
}

TEST_F(VirtualRecorderTest, RefusesCommandsACarefulDeviceRefuses) {
  attach(scsiModel());
  const QByteArray in(65536, '\0');
  const QByteArray piece(65536, 'x');
  const struct {
    std::array<uint8_t, 16> cdb;
    Direction direction;
    QByteArray data;
    const char* sense;
    const char* what;
  } refused[] = {
      {update(0x02, 65536), Direction::out, piece, "05/2c", "upload before start"},
      {update(0x03), Direction::none, {}, "05/2c", "finish before start"},
      {update(0x05, 65536), Direction::in, in, "05/2c", "verify before verify start"},
      {update(0x00, kArea + 1, kAreaLength), Direction::in, in, "05/24",
       "start at a wrong address"},
      {update(0x00, kArea, kAreaLength, 1), Direction::in, in, "05/24",
       "start on a processor without flash"},
      {update(0x00, 0, 0), Direction::in, in, "05/24", "file-copy start on a flash recorder"},
      {update(0x00, kArea, kAreaLength),
       Direction::none,
       {},
       "05/24",
       "start without its data phase"},
      {update(0x00, kArea, kAreaLength), Direction::in, in, "", "start"},
      {update(0x02, 65536), Direction::out, piece, "02/04", "upload while preparing"},
      {update(0x01), Direction::in, in, "", "ready 2"},
      {update(0x01), Direction::in, in, "", "ready 1"},
      {update(0x01), Direction::in, in, "", "ready 0"},
      {update(0x02, 65537), Direction::out, piece + "y", "05/24", "piece above 64 KiB"},
      {update(0x02, 100), Direction::out, piece, "05/24", "length differs from the data"},
      {update(0x02, 65536), Direction::out, piece, "", "piece 1"},
      {update(0x02, 65536), Direction::out, piece, "", "piece 2"},
      {update(0x02, 65536), Direction::out, piece, "", "piece 3"},
      {update(0x02, 65536), Direction::out, piece, "05/21", "piece beyond the announced area"},
      {{0x12, 0, 0, 0, 36}, Direction::in, in, "05/20", "a command it does not know"},
      {{0xE2, 0x03}, Direction::none, {}, "05/24", "a mode that does not exist"},
  };
  for (const auto& c : refused) {
    const Reply reply = send(c.cdb, c.direction, c.data);
    if (*c.sense == '\0') {
      EXPECT_EQ(reply.result, kIOReturnSuccess) << c.what;
      EXPECT_EQ(reply.status, 0U) << c.what;
    } else {
      EXPECT_EQ(reply.result, kIOReturnIOError) << c.what;
      EXPECT_EQ(reply.status, 2U) << c.what;
      EXPECT_EQ(reply.senseCode(), QLatin1String(c.sense)) << c.what;
    }
  }
}

TEST_F(VirtualRecorderTest, FileCopyModelAppliesWhatLiesInItsUpdateFolder) {
  QVariantMap config = scsiModel({{u"productId"_s, qint64{0x0220}},
                                  {u"deviceId"_s, qint64{0x6B01}},
                                  {u"needsModeChange"_s, false},
                                  {u"volumes"_s, QVariantList{QVariantMap{{u"freeBytes"_s, 10}},
                                                              QVariantMap{{u"freeBytes"_s, 20}}}}});
  config.remove(u"flashAreas"_s);
  attach(config);
  ASSERT_EQ(rack->volumes().mountedVolumes().size(), 2U);
  const auto space = rack->volumes().space(folder.filePath(u"volume2"_s).toStdString());
  ASSERT_TRUE(space);
  EXPECT_EQ(space->freeBytes, 20U);

  const QByteArray in(65536, '\0');
  EXPECT_EQ(send(update(0x00), Direction::in, in).data.left(2), QByteArray(2, '\0'));
  // Nothing to take yet: it refuses instead of restarting for nothing.
  EXPECT_EQ(send(update(0x03), Direction::none).senseCode(), u"05/2c"_s);
  ASSERT_TRUE(QDir(folder.path()).mkpath(u"volume1/System/Update"_s));
  QFile package(folder.filePath(u"volume1/System/Update/FW.BIN"_s));
  ASSERT_TRUE(package.open(QIODevice::WriteOnly));
  package.write("firmware");
  package.close();
  EXPECT_EQ(send(update(0x03), Direction::none).status, 0U);
  EXPECT_EQ(read(0x00, 8).result, kIOReturnInvalidConnection);

  const auto state = recorder().target().state();
  ASSERT_EQ(state.applied.size(), 1);
  const QVariantMap applied = state.applied.front().toMap();
  EXPECT_EQ(applied.value(u"kind"_s), u"fileCopy"_s);
  const QVariantMap file = applied.value(u"files"_s).toList().value(0).toMap();
  EXPECT_EQ(file.value(u"name"_s), u"FW.BIN"_s);
  EXPECT_EQ(file.value(u"bytes"_s).toLongLong(), 8);
  EXPECT_EQ(state.firmwareVersion, u"Ver 1.10"_s);
  ASSERT_TRUE(recorder().waitUntilPluggedIn(10s));
  EXPECT_EQ(rack->volumes().mountedVolumes().size(), 2U);
}

TEST_F(VirtualRecorderTest, InjectsCheckConditionsAndVanishesOnRequest) {
  attach(withFaults(
      {fault(u"checkCondition"_s, {{u"command"_s, u"ReadRecorderItem"_s}, {u"occurrence"_s, 2}}),
       fault(u"vanish"_s, {{u"afterCommands"_s, 3}})}));
  EXPECT_EQ(read(0x00, 8).status, 0U);
  const Reply second = read(0x00, 8);
  EXPECT_EQ(second.status, 2U);
  EXPECT_EQ(second.senseCode(), u"04/44"_s);
  EXPECT_EQ(read(0x00, 8).status, 0U);
  EXPECT_EQ(read(0x00, 8).result, kIOReturnInvalidConnection);
  // A vanished recorder does not come back.
  EXPECT_FALSE(recorder().waitUntilPluggedIn(300ms));
}
