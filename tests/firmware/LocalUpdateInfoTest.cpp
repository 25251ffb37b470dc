// The firmware description beside the bundle: the INI reader's rules, then the record
// made from its first firmware section.
#include "app/firmware/IniFileReader.h"
#include "app/firmware/LocalUpdateInfo.h"
#include "tests/firmware/ArchiveTools.h"
#include "tests/support/QStringPrinter.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <QUrl>

using namespace Qt::StringLiterals;

namespace {

using Parameters = QHash<QString, QString>;
using Mode = LocalUpdateInfo::UpdateMode;
using CPU = LocalUpdateInfo::TargetCPU;

LocalUpdateInfo info(Mode mode, const char* name, const char* version, uint64_t address = 0,
                     uint64_t length = 0, CPU cpu = CPU::main) {
  return {mode, QString::fromUtf8(name), QString::fromUtf8(version), address, length, cpu};
}

const char kScsi[] = "[FIRMWARE]\nMode=1\nName=fw.bin\nVersion=1230\n";

TEST(IniFileReader, ReadsSectionsKeysAndComments) {
  const QString text = QStringLiteral(
      "orphan=ignored\n"
      "; a comment\n"
      "# not a comment=kept\n"
      "   [FIRMWARE]   trailing text\n"
      "Name=a=b\n"
      "Empty=\n"
      "Mode = 2\n"
      "==\n"
      "=x=y\n"
      "Name=second\n"
      "[ spaced ]\n"
      "[unclosed\n"
      "Key=value\n"
      "[FIRMWARE]\n"
      "Mode=1\n"
      "[]\n");
  const QList<IniFileReader::Section> sections = IniFileReader::parse(text);
  ASSERT_EQ(sections.size(), 4);
  EXPECT_EQ(sections[0].name, u"FIRMWARE"_s);
  EXPECT_EQ(sections[0].parameters,
            (Parameters{{u"Name"_s, u"second"_s}, {u"Mode "_s, u" 2"_s}, {u"x"_s, u"y"_s}}));
  // The header without "]" leaves Key=value in the section before it.
  EXPECT_EQ(sections[1].name, u" spaced "_s);
  EXPECT_EQ(sections[1].parameters, (Parameters{{u"Key"_s, u"value"_s}}));
  EXPECT_EQ(sections[2].parameters, (Parameters{{u"Mode"_s, u"1"_s}}));
  EXPECT_EQ(sections[3].name, QString());
}

TEST(IniFileReader, EveryLineBreakConventionSplitsLines) {
  for (const char16_t* lineBreak :
       {u"\n", u"\r\n", u"\r", u"\v", u"\f", u"\u0085", u"\u2028", u"\u2029", u"\n\n\r\n"}) {
    const QString br = QString::fromUtf16(lineBreak);
    const QString text = u"[S]"_s + br + u"a=1"_s + br + u"b=2"_s + br;
    const QList<IniFileReader::Section> sections = IniFileReader::parse(text);
    ASSERT_EQ(sections.size(), 1) << br.toStdString();
    EXPECT_EQ(sections[0].parameters, (Parameters{{u"a"_s, u"1"_s}, {u"b"_s, u"2"_s}}));
  }
}

TEST(IniFileReader, IntValueIsStrictlyDecimal) {
  const std::pair<const char*, std::optional<int64_t>> cases[] = {
      {"2", 2},
      {"-7", -7},
      {"+5", 5},
      {"0012", 12},
      {"", std::nullopt},
      {" 2", std::nullopt},
      {"2 ", std::nullopt},
      {"0x10", std::nullopt},
      {"1e3", std::nullopt},
      {"\u0662", std::nullopt},  // an Arabic-Indic digit
  };
  for (const auto& [value, expected] : cases) {
    const IniFileReader::Section section{QString(), {{u"k"_s, QString::fromUtf8(value)}}};
    EXPECT_EQ(section.intValue(u"k"_s), expected) << value;
  }
  EXPECT_EQ(IniFileReader::Section().intValue(u"k"_s), std::nullopt);
}

TEST(IniFileReader, HexValueTakesOneLowerCaseZeroXPrefix) {
  const std::pair<const char*, std::optional<uint64_t>> cases[] = {
      {"0x00040000", 0x40000},
      {"1C0000", 0x1C0000},
      {"1c0000", 0x1C0000},
      {"0", 0},
      {"ffffffffffffffff", UINT64_MAX},
      {"10000000000000000", std::nullopt},
      {"0X40000", std::nullopt},
      {"0x", std::nullopt},
      {"0x0x5", std::nullopt},
      {"", std::nullopt},
      {"-1", std::nullopt},
      {"12g", std::nullopt},
      {" 12", std::nullopt},
  };
  for (const auto& [value, expected] : cases) {
    const IniFileReader::Section section{QString(), {{u"k"_s, QString::fromUtf8(value)}}};
    EXPECT_EQ(section.hexValue(u"k"_s), expected) << value;
  }
}

// The plain description of each mode, and a mode the recorder does not know, are checked
// through tarnwell-tool local-info.
TEST(LocalUpdateInfo, BuildsTheRecordFromTheFirstFirmwareSection) {
  const std::pair<QByteArray, std::optional<LocalUpdateInfo>> cases[] = {
      {"[FIRMWARE]\nMode=2\nName=fw.bin\nVersion=1230\nWriteAddress=zz\nTargetCPU=x\n",
       info(Mode::fileCopy, "fw.bin", "1230")},
      {QByteArray(kScsi) + "WriteAddress=0\nTransferLength=1\nTargetCPU=MainCPU\n",
       info(Mode::scsiTransfer, "fw.bin", "1230", 0, 1, CPU::main)},
      {QByteArray(kScsi) + "WriteAddress=0\nTransferLength=1C0000\nTargetCPU=maincpu\n",
       std::nullopt},
      {QByteArray(kScsi) + "WriteAddress=0\nTransferLength=0\nTargetCPU=MainCPU\n", std::nullopt},
      {QByteArray(kScsi) + "TransferLength=1\nTargetCPU=MainCPU\n", std::nullopt},
      {"[FIRMWARE]\nMode=2\nName=\nVersion=1230\n", std::nullopt},
      {"[FIRMWARE]\nMode=2\nName=a=b\nVersion=1230\n", info(Mode::fileCopy, "a", "1230")},
      {"Mode=2\nName=fw.bin\nVersion=1230\n[FIRMWARE]\n", std::nullopt},
      {"[firmware]\nMode=2\nName=fw.bin\nVersion=1230\n", std::nullopt},
      {"[FIRMWARE]\nMode=2\nName=first\nVersion=1\n[FIRMWARE]\nMode=2\nName=second\nVersion=2\n",
       info(Mode::fileCopy, "first", "1")},
      {"[FIRMWARE]\nVersion=1\n[FIRMWARE]\nMode=2\nName=second\nVersion=2\n", std::nullopt},
  };
  for (const auto& [text, expected] : cases) {
    EXPECT_EQ(LocalUpdateInfo::fromData(text), expected) << text.toStdString();
  }
}

TEST(LocalUpdateInfo, DecodesFilesAsTextOrNotAtAll) {
  const QByteArray lf = "[FIRMWARE]\nMode=2\nName=fw.bin\nVersion=1230\n";
  const std::optional<LocalUpdateInfo> expected = info(Mode::fileCopy, "fw.bin", "1230");
  QByteArray crlf = lf;
  crlf.replace("\n", "\r\n");
  const QString asText = QString::fromUtf8(lf);
  const QByteArray utf16(reinterpret_cast<const char*>(asText.utf16()), asText.size() * 2);
  const std::pair<const char*, QByteArray> decodable[] = {
      {"UTF-8 byte-order mark", "\xEF\xBB\xBF" + crlf},
      {"UTF-16 with byte-order mark", "\xFF\xFE" + utf16},
  };
  for (const auto& [name, data] : decodable) {
    EXPECT_EQ(LocalUpdateInfo::fromData(data), expected) << name;
  }
  EXPECT_EQ(LocalUpdateInfo::fromData("[FIRMWARE]\nMode=2\nName=f\xFF.bin\nVersion=1230\n"),
            std::nullopt);
  EXPECT_EQ(LocalUpdateInfo::fromData(lf + "; " + QByteArray(4 << 20, 'x') + "\n"), expected);
}

// The description beside the bundle is read in the terminal's whole runs; one larger than
// any real one is not read into memory.
TEST(LocalUpdateInfo, IsLoadedFromTheFolderBesideTheBundleUpToAMaximumSize) {
  QTemporaryDir dir;
  ArchiveTools::writeFile(dir.filePath(u"firmware.ini"_s),
                          "[FIRMWARE]\nMode=2\nName=fw.bin\nVersion=1230\n" +
                              QByteArray(LocalUpdateInfo::kMaxFileSize, ' '));
  EXPECT_EQ(loadLocalUpdateInfo(dir.path()), std::nullopt);
}

TEST(LocalUpdateInfo, MakesTheFirmwareInfoOfTheFileBesideTheBundle) {
  QTemporaryDir dir;
  const QString folder = dir.filePath(u"with space"_s);
  ArchiveTools::writeFile(folder + u"/fw é.bin"_s, QByteArray(1234, 'f'));
  const LocalUpdateInfo local = info(Mode::fileCopy, "fw é.bin", "1230");
  FirmwareInfo expected;
  expected.makerCode = u"KVO"_s;
  expected.hardwareKind = u"E"_s;
  expected.version = u"1230"_s;
  expected.fileName = u"fw é.bin"_s;
  expected.fileSize = 1234;
  expected.fileURL = QUrl::fromLocalFile(folder + u"/fw é.bin"_s).toString(QUrl::FullyEncoded);
  EXPECT_EQ(local.makeFirmwareInfo(folder), expected);
  EXPECT_TRUE(expected.fileURL.startsWith(u"file:///"_s));
  EXPECT_TRUE(expected.fileURL.contains(u"with%20space/fw%20%C3%A9.bin"_s));
  EXPECT_EQ(QUrl(expected.fileURL).toLocalFile(), folder + u"/fw é.bin"_s);

  // A missing firmware file, or a name that is not a file, has no size.
  for (const char* name : {"missing.bin", ""}) {
    const FirmwareInfo missing = info(Mode::fileCopy, name, "1230").makeFirmwareInfo(folder);
    EXPECT_EQ(missing.fileSize, 0) << name;
    EXPECT_EQ(missing.fileName, QString::fromUtf8(name));
  }
}

}  // namespace
