#include "app/firmware/LocalUpdateInfo.h"
#include "tests/firmware/ArchiveTools.h"
#include "tests/support/QStringPrinter.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>
#include <QUrl>

namespace {

using Mode = LocalUpdateInfo::UpdateMode;
using CPU = LocalUpdateInfo::TargetCPU;

LocalUpdateInfo info(Mode mode, const char* name, const char* version, uint64_t address = 0,
                     uint64_t length = 0, CPU cpu = CPU::main) {
  return {mode, QString::fromUtf8(name), QString::fromUtf8(version), address, length, cpu};
}

const char kScsi[] = "[FIRMWARE]\nMode=1\nName=fw.bin\nVersion=1230\n";

TEST(LocalUpdateInfo, BuildsTheRecordFromTheFirstFirmwareSection) {
  const std::pair<QByteArray, std::optional<LocalUpdateInfo>> cases[] = {
      {"[FIRMWARE]\nMode=2\nName=fw.bin\nVersion=1230\n", info(Mode::fileCopy, "fw.bin", "1230")},
      {"[FIRMWARE]\nMode=2\nName=fw.bin\nVersion=1230\nWriteAddress=zz\nTargetCPU=x\n",
       info(Mode::fileCopy, "fw.bin", "1230")},
      {QByteArray(kScsi) + "WriteAddress=0x00040000\nTransferLength=1C0000\nTargetCPU=SubCPU\n",
       info(Mode::scsiTransfer, "fw.bin", "1230", 0x40000, 0x1C0000, CPU::sub)},
      {QByteArray(kScsi) + "WriteAddress=0\nTransferLength=1\nTargetCPU=MainCPU\n",
       info(Mode::scsiTransfer, "fw.bin", "1230", 0, 1, CPU::main)},
      {QByteArray(kScsi) + "WriteAddress=0\nTransferLength=1C0000\nTargetCPU=maincpu\n",
       std::nullopt},
      {QByteArray(kScsi) + "WriteAddress=0\nTransferLength=0\nTargetCPU=MainCPU\n", std::nullopt},
      {QByteArray(kScsi) + "TransferLength=1\nTargetCPU=MainCPU\n", std::nullopt},
      {"[FIRMWARE]\nMode=3\nName=fw.bin\nVersion=1230\n", std::nullopt},
      {"[FIRMWARE]\nMode=2\nName=\nVersion=1230\n", std::nullopt},
      {"[FIRMWARE]\nMode=2\nName=a=b\nVersion=1230\n", info(Mode::fileCopy, "a", "1230")},
      {"Mode=2\nName=fw.bin\nVersion=1230\n[FIRMWARE]\n", std::nullopt},
      {"[firmware]\nMode=2\nName=fw.bin\nVersion=1230\n", std::nullopt},
      {"  [FIRMWARE]  \n; Mode=1\nMode=2\nName=fw.bin\nVersion=1230\n",
       info(Mode::fileCopy, "fw.bin", "1230")},
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
  QByteArray cr = lf;
  cr.replace("\n", "\r");
  const QString asText = QString::fromUtf8(lf);
  const QByteArray utf16(reinterpret_cast<const char*>(asText.utf16()), asText.size() * 2);
  const std::pair<const char*, QByteArray> decodable[] = {
      {"LF", lf},
      {"CRLF", crlf},
      {"CR", cr},
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

TEST(LocalUpdateInfo, IsLoadedFromTheFolderBesideTheBundle) {
  QTemporaryDir dir;
  EXPECT_EQ(loadLocalUpdateInfo(dir.path()), std::nullopt);
  ArchiveTools::writeFile(dir.filePath(QStringLiteral("firmware.ini")),
                          "[FIRMWARE]\r\nMode=2\r\nName=fw.bin\r\nVersion=1230\r\n");
  EXPECT_EQ(loadLocalUpdateInfo(dir.path()), info(Mode::fileCopy, "fw.bin", "1230"));
  // A description larger than any real one is not read into memory.
  ArchiveTools::writeFile(dir.filePath(QStringLiteral("firmware.ini")),
                          "[FIRMWARE]\nMode=2\nName=fw.bin\nVersion=1230\n" +
                              QByteArray(LocalUpdateInfo::kMaxFileSize, ' '));
  EXPECT_EQ(loadLocalUpdateInfo(dir.path()), std::nullopt);
}

TEST(LocalUpdateInfo, MakesTheFirmwareInfoOfTheFileBesideTheBundle) {
  QTemporaryDir dir;
  const QString folder = dir.filePath(QStringLiteral("with space"));
  ArchiveTools::writeFile(folder + QStringLiteral("/fw é.bin"), QByteArray(1234, 'f'));
  const LocalUpdateInfo local = info(Mode::fileCopy, "fw é.bin", "1230");
  FirmwareInfo expected;
  expected.makerCode = QStringLiteral("KVO");
  expected.hardwareKind = QStringLiteral("E");
  expected.version = QStringLiteral("1230");
  expected.fileName = QStringLiteral("fw é.bin");
  expected.fileSize = 1234;
  expected.fileURL =
      QUrl::fromLocalFile(folder + QStringLiteral("/fw é.bin")).toString(QUrl::FullyEncoded);
  EXPECT_EQ(local.makeFirmwareInfo(folder), expected);
  EXPECT_TRUE(expected.fileURL.startsWith(QStringLiteral("file:///")));
  EXPECT_TRUE(expected.fileURL.contains(QStringLiteral("with%20space/fw%20%C3%A9.bin")));
  EXPECT_EQ(QUrl(expected.fileURL).toLocalFile(), folder + QStringLiteral("/fw é.bin"));

  // A missing firmware file, or a name that is not a file, has no size.
  for (const char* name : {"missing.bin", ""}) {
    const FirmwareInfo missing = info(Mode::fileCopy, name, "1230").makeFirmwareInfo(folder);
    EXPECT_EQ(missing.fileSize, 0) << name;
    EXPECT_EQ(missing.fileName, QString::fromUtf8(name));
  }
}

}  // namespace
