#include "tests/support/QStringPrinter.h"
#include "tests/support/TestController.h"
#include "tests/support/ToolProcess.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

ToolRun tool(const QStringList& arguments) { return runTool(arguments); }

// A copy of an example recorder, since a recorder writes into its folder.
QString copyExample(const QTemporaryDir& scratch, const QString& name) {
  QString target = scratch.filePath(name);
  EXPECT_TRUE(copyExampleRecorder(name, target));
  return target;
}

TEST(VirtualRecorderToolTest, ExamplesShowTheirDriverEntryMediaAndModelName) {
  QTemporaryDir scratch;
  const struct {
    const char* example;
    const char* modelHex;
    int partitions;
  } examples[] = {
      {"scsi-mode-change", "56522D3431300000", 1},
      {"file-copy-two-volumes", "56522D3532303100", 2},
      {"product-information", "56522D5058000000", 1},
  };
  for (const auto& e : examples) {
    const QString folder = copyExample(scratch, QString::fromLatin1(e.example));
    const ToolRun tree = tool({QStringLiteral("registry"), QStringLiteral("--virtual"), folder});
    EXPECT_EQ(tree.status, 0) << e.example << tree.err.toStdString();
    EXPECT_TRUE(tree.out.contains(QLatin1String("class=com_korvane_DSSBlockCommandsDevice")))
        << e.example;
    EXPECT_EQ(tree.out.count(QLatin1String("Whole=false")), e.partitions) << e.example;

    const ToolRun model =
        tool({QStringLiteral("scsi"), QStringLiteral("--virtual"), folder, QStringLiteral("--cdb"),
              QStringLiteral("E0000008000000000000000000000000"), QStringLiteral("--in"),
              QStringLiteral("8")});
    EXPECT_EQ(model.status, 0) << e.example << model.err.toStdString();
    EXPECT_TRUE(model.out.contains(QStringLiteral("data=") + QLatin1String(e.modelHex)))
        << model.out.toStdString();
  }
}

TEST(VirtualRecorderToolTest, IdentifyReadsEachExampleAsTheUpdateCheckDoes) {
  QTemporaryDir scratch;
  const struct {
    const char* example;
    QStringList expected;
  } examples[] = {
      // Needs a mode change first: the transcript shows it before the identity reads.
      {"scsi-mode-change",
       {QStringLiteral("usbPID=0x0210"), QStringLiteral("deviceID=0x5A10"),
        QStringLiteral("deviceName=VR-410\\0\\0"), QStringLiteral("version=1000"),
        QStringLiteral("modelID=4110"), QStringLiteral("updateType=scsiTransfer"),
        QStringLiteral("transferAddress=0x00040000,0x001E0000,0x00000400,0x00007C00"),
        QStringLiteral("status=0")}},
      {"file-copy-two-volumes",
       {QStringLiteral("deviceID=0x6B01"), QStringLiteral("modelID=5201"),
        QStringLiteral("updateType=fileCopy"), QStringLiteral("transferAddress=none")}},
      // Device ID 0: the model number comes from its product information.
      {"product-information",
       {QStringLiteral("usbVendorID=0xF7A2"), QStringLiteral("deviceID=0x0000"),
        QStringLiteral("modelID=421"), QStringLiteral("serialID=PX0000421777")}},
  };
  for (const auto& e : examples) {
    const QString folder = copyExample(scratch, QString::fromLatin1(e.example));
    const ToolRun run = tool({QStringLiteral("identify"), QStringLiteral("--virtual"), folder});
    EXPECT_EQ(run.status, 0) << e.example << run.err.toStdString();
    const QStringList lines = run.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    for (const QString& line : e.expected) {
      EXPECT_TRUE(lines.contains(line)) << e.example << ": " << line.toStdString() << "\n"
                                        << run.out.toStdString();
    }
  }
  QFile transcript(QDir(scratch.filePath(QStringLiteral("scsi-mode-change")))
                       .filePath(QStringLiteral("transcript.txt")));
  ASSERT_TRUE(transcript.open(QIODevice::ReadOnly));
  const QList<QByteArray> sent = transcript.readAll().split('\n');
  ASSERT_GE(sent.size(), 3);
  EXPECT_TRUE(sent[0].startsWith("E0 01 00 08"));
  EXPECT_TRUE(sent[1].startsWith("E2 02 00 00"));
  EXPECT_TRUE(sent[2].startsWith("E0 00 00 08"));
}

TEST(VirtualRecorderToolTest, TwoFoldersAttachTwoRecordersAndABadOneIsNamed) {
  QTemporaryDir scratch;
  const QString first = copyExample(scratch, QStringLiteral("scsi-mode-change"));
  const QString second = copyExample(scratch, QStringLiteral("file-copy-two-volumes"));
  const ToolRun both = tool({QStringLiteral("registry"), QStringLiteral("--virtual"), first,
                             QStringLiteral("--virtual"), second});
  EXPECT_EQ(both.out.count(QLatin1String("class=IOUSBHostDevice")), 2);
  const ToolRun identify = tool({QStringLiteral("identify"), QStringLiteral("--virtual"), first,
                                 QStringLiteral("--virtual"), second});
  EXPECT_EQ(identify.status, 1);
  EXPECT_TRUE(identify.err.contains(QLatin1String("2 recorders are attached")))
      << identify.err.toStdString();

  QFile plist(QDir(second).filePath(QStringLiteral("recorder.plist")));
  ASSERT_TRUE(plist.open(QIODevice::ReadWrite));
  QByteArray text = plist.readAll();
  text.replace("<key>restartSeconds</key>", "<key>restartSecs</key>");
  plist.resize(0);
  plist.write(text);
  plist.close();
  const ToolRun bad = tool({QStringLiteral("registry"), QStringLiteral("--virtual"), second});
  EXPECT_EQ(bad.status, 1);
  EXPECT_TRUE(bad.err.contains(QLatin1String("unknown key \"restartSecs\"")))
      << bad.err.toStdString();
  EXPECT_EQ(tool({QStringLiteral("registry"), QStringLiteral("--virtual")}).status, 2);
}

}  // namespace
