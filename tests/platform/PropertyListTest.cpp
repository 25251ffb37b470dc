#include "platform/PropertyList.h"

#include <gtest/gtest.h>

#include <QDateTime>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtEndian>

#include <sys/stat.h>

using namespace Qt::StringLiterals;

namespace {

const QByteArray kXml = R"(<?xml version="1.0" encoding="UTF-8"?>
<!DOCTYPE plist PUBLIC "-//Apple//DTD PLIST 1.0//EN" "http://www.apple.com/DTDs/PropertyList-1.0.dtd">
<plist version="1.0">
<dict>
	<key>name</key><string>Grüße</string>
	<key>count</key><integer>-7</integer>
	<key>on</key><true/>
	<key>ratio</key><real>0.5</real>
	<key>blob</key><data>AAEC</data>
	<key>when</key><date>2026-01-02T03:04:05Z</date>
	<key>list</key><array><integer>1</integer><string>two</string></array>
</dict>
</plist>
)";

// The XML form, the binary form another tool makes of it, and what we write, read alike.
TEST(PropertyList, ReadsEveryValueTypeInBothFormsAndWritesWhatItReads) {
  const auto value = PropertyList::fromData(kXml);
  ASSERT_TRUE(value.has_value());
  const QVariantMap map = value->toMap();
  EXPECT_EQ(map.value(u"name"_s).toString(), u"Grüße"_s);
  EXPECT_EQ(map.value(u"count"_s).typeId(), QMetaType::LongLong);
  EXPECT_EQ(map.value(u"count"_s).toLongLong(), -7);
  EXPECT_EQ(map.value(u"on"_s).typeId(), QMetaType::Bool);
  EXPECT_DOUBLE_EQ(map.value(u"ratio"_s).toDouble(), 0.5);
  EXPECT_EQ(map.value(u"blob"_s).toByteArray(), QByteArray("\x00\x01\x02", 3));
  EXPECT_EQ(map.value(u"when"_s).toDateTime(),
            QDateTime::fromString(u"2026-01-02T03:04:05Z"_s, Qt::ISODate));
  EXPECT_EQ(map.value(u"list"_s).toList(), (QVariantList{qint64{1}, u"two"_s}));
  QVariantMap written = map;
  written.remove(u"when"_s);  // nothing writes dates, and toXml writes them as strings
  EXPECT_EQ(PropertyList::fromData(PropertyList::toXml(written)), QVariant(written));

  QTemporaryDir dir;
  const QString xmlPath = dir.filePath(u"in.plist"_s);
  const QString binPath = dir.filePath(u"out.plist"_s);
  QFile xml(xmlPath);
  ASSERT_TRUE(xml.open(QIODevice::WriteOnly));
  xml.write(kXml);
  xml.close();
  ASSERT_EQ(
      QProcess::execute(u"python3"_s,
                        {u"-c"_s,
                         u"import plistlib,sys; d=plistlib.load(open(sys.argv[1],'rb')); "
                         "plistlib.dump(d, open(sys.argv[2],'wb'), fmt=plistlib.FMT_BINARY)"_s,
                         xmlPath, binPath}),
      0);
  EXPECT_EQ(PropertyList::readFile(binPath), value);
  // Found by fuzzing: binary strings holding NUL bytes, on which libplist's copying accessor
  // aborts.
  EXPECT_TRUE(
      PropertyList::readFile(QStringLiteral(TARNWELL_TEST_DATA_DIR "/platform/nul-string.plist")));
}

// `value`, most significant byte first.
template <typename T>
QByteArray bigEndian(T value) {
  QByteArray bytes(sizeof(T), Qt::Uninitialized);
  qToBigEndian(value, bytes.data());
  return bytes;
}

// A binary list of `objects` (four-byte offsets and references), the first one the root.
QByteArray binaryList(const QList<QByteArray>& objects) {
  QByteArray data("bplist00");
  QByteArray table;
  for (const QByteArray& object : objects) {
    table += bigEndian(static_cast<uint32_t>(data.size()));
    data += object;
  }
  const auto tableOffset = static_cast<uint64_t>(data.size());
  data += table + QByteArray(6, '\0') + "\x04\x04";  // offset and reference sizes
  for (const uint64_t value : {static_cast<uint64_t>(objects.size()), uint64_t{0}, tableOffset}) {
    data += bigEndian(value);
  }
  return data;
}

// An array of the objects `references` names.
QByteArray arrayOf(const QList<uint32_t>& references) {
  QByteArray object(1, static_cast<char>(0xA0 | references.size()));
  for (const uint32_t reference : references) {
    object += bigEndian(reference);
  }
  return object;
}

// A dictionary of one three-byte ASCII key (0x53) whose value is true.
QByteArray dictionaryWithKey(const QByteArray& key) {
  return binaryList({QByteArray("\xD1\x00\x00\x00\x01\x00\x00\x00\x02", 9), char{0x53} + key,
                     QByteArray("\x09")});
}

// Each array holding the next one `width` times: width^levels values once copied out.
QByteArray sharedArrays(int levels, int width) {
  QList<QByteArray> objects;
  for (int i = 0; i < levels; ++i) {
    objects.append(arrayOf(QList<uint32_t>(width, static_cast<uint32_t>(i + 1))));
  }
  objects.append(QByteArray("\x09"));  // true
  return binaryList(objects);
}

QByteArray xmlNested(int levels, const QByteArray& between = {}) {
  return "<plist>" + QByteArray("<array>" + between).repeated(levels) +
         QByteArray("</array>").repeated(levels) + "</plist>";
}

// What is not a property list, and documents that libplist would crash on, hang on or
// exhaust memory with, are refused before it sees them; the same shapes within bounds read.
TEST(PropertyList, RefusesDocumentsThatWouldOverwhelmTheParser) {
  QList<QByteArray> chain;
  for (uint32_t i = 1; i < 100'000; ++i) {
    chain.append(arrayOf({i}));
  }
  chain.append(arrayOf({}));
  const struct {
    const char* name;
    QByteArray data;
    bool reads;
  } cases[] = {
      {"nothing", QByteArray(), false},
      {"XML cut short", "<plist><dict><key>a</key>", false},
      {"binary cut short", "bplist00\xff\xff", false},
      {"XML nested 200 deep", xmlNested(200), false},
      {"XML nested 200000 deep", xmlNested(200'000), false},
      {"XML levels hidden behind comments", xmlNested(10'000, "<!--</array>-->"), false},
      {"XML nested 60 deep", xmlNested(60), true},
      {"binary nested 100000 deep", binaryList(chain), false},
      {"binary containers shared 2^40 times", sharedArrays(40, 2), false},
      {"binary containers shared 2^17 times", sharedArrays(17, 2), false},
      {"binary containers shared 2^10 times", sharedArrays(10, 2), true},
      {"binary array holding itself", binaryList({arrayOf({0})}), false},
      {"binary key holding a NUL byte", dictionaryWithKey(QByteArray("a\0b", 3)), false},
      {"binary key without NUL byte", dictionaryWithKey("a-b"), true},
  };
  for (const auto& each : cases) {
    EXPECT_EQ(PropertyList::fromData(each.data).has_value(), each.reads) << each.name;
  }
  EXPECT_FALSE(PropertyList::readFile(u"/nonexistent/x.plist"_s).has_value());
  EXPECT_FALSE(PropertyList::readDictionaryFile(u"/dev/null"_s).has_value());
  // A FIFO given as the settings file or a launch option's file never ends: refused at once.
  const QTemporaryDir folder;
  const QString fifo = folder.filePath(u"fifo.plist"_s);
  ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
  EXPECT_FALSE(PropertyList::readFile(fifo).has_value());
}

}  // namespace
