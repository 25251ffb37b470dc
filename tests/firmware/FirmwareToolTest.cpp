// tarnwell-tool's firmware commands, run as a separate process as a script would.
#include "tests/firmware/ArchiveTools.h"
#include "tests/support/QStringPrinter.h"
#include "tests/support/ToolProcess.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

namespace {

TEST(FirmwareTool, SizesAndUnpacksAnArchive) {
  QTemporaryDir dir;
  const QString archive = dir.filePath(QStringLiteral("fw.zip"));
  ASSERT_TRUE(ArchiveTools::makePythonArchive(QStringLiteral("mixed"), archive));
  ToolRun run = runTool({QStringLiteral("zip-size"), archive});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, QStringLiteral("370850\n"));

  const QString out = dir.filePath(QStringLiteral("out"));
  run = runTool({QStringLiteral("unpack"), archive, out});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, QStringLiteral("%1/FW\n%1/readme.txt\n%1/empty.bin\n").arg(out));
  EXPECT_TRUE(run.err.endsWith(QStringLiteral("progress 370850/370850\n")))
      << run.err.toStdString();
}

TEST(FirmwareTool, ReportsWhatCannotBeUnpacked) {
  QTemporaryDir dir;
  const QString text = dir.filePath(QStringLiteral("plain.bin"));
  ArchiveTools::writeFile(text, "not a zip");
  const std::tuple<QStringList, int, const char*, const char*> cases[] = {
      {{QStringLiteral("zip-size"), text}, 0, "0\n", ""},
      {{QStringLiteral("zip-size"), dir.filePath(QStringLiteral("missing"))}, 1, "", "cannot read"},
      {{QStringLiteral("zip-size")}, 2, "", "expected ARCHIVE"},
      {{QStringLiteral("unpack"), text, dir.filePath(QStringLiteral("o"))},
       1,
       "",
       "nothing was extracted"},
      {{QStringLiteral("unpack"), text}, 2, "", "expected ARCHIVE DIR"},
      {{QStringLiteral("local-info")}, 2, "", "expected FILE"},
  };
  for (const auto& [arguments, status, out, err] : cases) {
    const ToolRun run = runTool(arguments);
    EXPECT_EQ(run.status, status) << arguments.join(u' ').toStdString();
    EXPECT_EQ(run.out, QString::fromUtf8(out));
    EXPECT_TRUE(run.err.contains(QString::fromUtf8(err))) << run.err.toStdString();
  }
}

TEST(FirmwareTool, PrintsTheLocalDescription) {
  QTemporaryDir dir;
  const QString ini = dir.filePath(QStringLiteral("firmware.ini"));
  const std::pair<QByteArray, const char*> cases[] = {
      {"[FIRMWARE]\r\nMode=1\r\nName=fw.bin\r\nVersion=1230\r\nWriteAddress=0x00040000\r\n"
       "TransferLength=1C0000\r\nTargetCPU=SubCPU\r\n",
       "updateMode=scsiTransfer\nfirmwareName=fw.bin\nversion=1230\nwriteAddress=262144\n"
       "transferLength=1835008\ntargetCPU=sub\n"},
      {"[FIRMWARE]\nMode=2\nName=fw.zip\nVersion=1300\n",
       "updateMode=fileCopy\nfirmwareName=fw.zip\nversion=1300\nwriteAddress=0\n"
       "transferLength=0\ntargetCPU=main\n"},
      {"[FIRMWARE]\nMode=3\n", "none\n"},
  };
  for (const auto& [text, expected] : cases) {
    ArchiveTools::writeFile(ini, text);
    const ToolRun run = runTool({QStringLiteral("local-info"), ini});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, QString::fromUtf8(expected));
  }
  EXPECT_EQ(
      runTool({QStringLiteral("local-info"), dir.filePath(QStringLiteral("missing.ini"))}).out,
      QStringLiteral("none\n"));
}

}  // namespace
