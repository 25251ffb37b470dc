#include "platform/PropertyList.h"

#include <gtest/gtest.h>

#include <QDateTime>
#include <QProcess>
#include <QTemporaryDir>

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

TEST(PropertyList, ReadsEveryValueType) {
  const auto value = PropertyList::fromData(kXml);
  ASSERT_TRUE(value.has_value());
  const QVariantMap map = value->toMap();
  EXPECT_EQ(map.value(QStringLiteral("name")).toString(), QStringLiteral("Grüße"));
  EXPECT_EQ(map.value(QStringLiteral("count")).typeId(), QMetaType::LongLong);
  EXPECT_EQ(map.value(QStringLiteral("count")).toLongLong(), -7);
  EXPECT_EQ(map.value(QStringLiteral("on")).typeId(), QMetaType::Bool);
  EXPECT_DOUBLE_EQ(map.value(QStringLiteral("ratio")).toDouble(), 0.5);
  EXPECT_EQ(map.value(QStringLiteral("blob")).toByteArray(), QByteArray("\x00\x01\x02", 3));
  EXPECT_EQ(map.value(QStringLiteral("when")).toDateTime(),
            QDateTime::fromString(QStringLiteral("2026-01-02T03:04:05Z"), Qt::ISODate));
  EXPECT_EQ(map.value(QStringLiteral("list")).toList(),
            (QVariantList{qint64{1}, QStringLiteral("two")}));
}

// Binary property lists made by another tool read the same as the XML form.
TEST(PropertyList, ReadsBinaryListsFromAnotherTool) {
  QTemporaryDir dir;
  const QString xmlPath = dir.filePath(QStringLiteral("in.plist"));
  const QString binPath = dir.filePath(QStringLiteral("out.plist"));
  QFile xml(xmlPath);
  ASSERT_TRUE(xml.open(QIODevice::WriteOnly));
  xml.write(kXml);
  xml.close();
  const int status = QProcess::execute(
      QStringLiteral("python3"),
      {QStringLiteral("-c"),
       QStringLiteral("import plistlib,sys; d=plistlib.load(open(sys.argv[1],'rb')); "
                      "plistlib.dump(d, open(sys.argv[2],'wb'), fmt=plistlib.FMT_BINARY)"),
       xmlPath, binPath});
  if (status != 0) {
    GTEST_SKIP() << "python3 is not available";
  }
  const auto fromBinary = PropertyList::readFile(binPath);
  ASSERT_TRUE(fromBinary.has_value());
  EXPECT_EQ(*fromBinary, *PropertyList::fromData(kXml));
}

TEST(PropertyList, RefusesWhatIsNotAPropertyList) {
  EXPECT_FALSE(PropertyList::fromData(QByteArray()).has_value());
  EXPECT_FALSE(PropertyList::fromData("<plist><dict><key>a</key>").has_value());
  EXPECT_FALSE(PropertyList::fromData("bplist00\xff\xff").has_value());
  EXPECT_FALSE(PropertyList::readFile(QStringLiteral("/nonexistent/x.plist")).has_value());
  EXPECT_FALSE(PropertyList::readDictionaryFile(QStringLiteral("/dev/null")).has_value());
  // Nesting deeper than any real file is refused instead of recursing without bound.
  const QByteArray deep = "<plist>" + QByteArray("<array>").repeated(200) +
                          QByteArray("</array>").repeated(200) + "</plist>";
  EXPECT_FALSE(PropertyList::fromData(deep).has_value());
}

// A binary list (found by fuzzing) whose strings hold NUL bytes: libplist's copying
// accessor aborts on them.
TEST(PropertyList, ReadsBinaryStringsHoldingNulBytes) {
  const auto value =
      PropertyList::readFile(QStringLiteral(TARNWELL_TEST_DATA_DIR "/platform/nul-string.plist"));
  EXPECT_TRUE(value.has_value());
}

TEST(PropertyList, WritesWhatItReads) {
  const QVariantMap map{{QStringLiteral("b"), true},
                        {QStringLiteral("i"), qint64{-3}},
                        {QStringLiteral("s"), QStringLiteral("x")},
                        {QStringLiteral("a"), QVariantList{QByteArray("d")}}};
  EXPECT_EQ(PropertyList::fromData(PropertyList::toXml(map)), QVariant(map));
}

}  // namespace
