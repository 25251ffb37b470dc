#include "app/firmware/KvoUnZip.h"
#include "app/localize/CMLocalize.h"
#include "platform/PropertyList.h"
#include "tests/support/CopyTree.h"
#include "tests/support/QStringPrinter.h"
#include "tests/support/TestController.h"
#include "tests/support/TestHttpsServer.h"
#include "tests/support/ToolProcess.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

// Whole runs of the application in the terminal on a virtual recorder: in local mode, a copy
// of the bundle with firmware.ini and the package beside it, as a user prepares it; in server
// mode, the local HTTPS service named by the settings file offers the package.
class TextRunTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    CMLocalize::initializeSharedWithFilePath(
        QStringLiteral(TARNWELL_BUNDLE_DIR "/share/tarnwell/Localizable.olc"));
  }

  static QString exampleFile(const QString& example, const QString& name) {
    return QStringLiteral(TARNWELL_SOURCE_DIR "/resources/examples/") + example + u'/' + name;
  }

  // The bundle beside `package` of `example` and its description `ini` (none when empty);
  // the recorder a copy of the example with `changes` in its recorder.plist.
  void prepare(const QString& example, const QString& package, const QByteArray& ini,
               const QVariantMap& changes = {}) {
    ASSERT_TRUE(copyTree(QStringLiteral(TARNWELL_BUNDLE_DIR),
                         scratch.filePath(QStringLiteral("Tarnwell"))));
    ASSERT_TRUE(QFile::copy(exampleFile(example, package), scratch.filePath(package)));
    if (!ini.isEmpty()) {
      QFile description(scratch.filePath(QStringLiteral("firmware.ini")));
      ASSERT_TRUE(description.open(QIODevice::WriteOnly));
      description.write(ini);
    }

    recorder = scratch.filePath(QStringLiteral("recorder"));
    ASSERT_TRUE(copyExampleRecorder(example, recorder, changes));
  }

  ToolRun run(const QStringList& options, const std::optional<QByteArray>& answers = QByteArray()) {
    // No settings file: the machine's must not switch anything on.
    return runProgram(
        scratch.filePath(QStringLiteral("Tarnwell/bin/tarnwell")),
        QStringList{QStringLiteral("--text")} + options +
            QStringList{QStringLiteral("--virtual_recorder=") + recorder},
        {QStringLiteral("XDG_CONFIG_DIRS=") + scratch.filePath(QStringLiteral("xdg"))}, answers);
  }

  // Server mode: the settings file points at `server`, which offers `package` as `version`.
  void serve(const TestHttpsServer& server, const QString& package, const QString& version) {
    QFile file(scratch.filePath(package));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    server.addFile(package, file.readAll());
    server.setAnswer(QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                                    "<firmware_result><revision>0001</revision><firmwares>"
                                    "<firmware_info><version>%1</version>"
                                    "<file_name>%2</file_name><file_size>%3</file_size>"
                                    "<url>%4</url><comment>Better.</comment></firmware_info>"
                                    "</firmwares></firmware_result>")
                         .arg(version, package, QString::number(file.size()),
                              server.url(QStringLiteral("/files/") + package).toString())
                         .toUtf8());
    QDir().mkpath(scratch.filePath(QStringLiteral("xdg/Velmora")));
    QFile settings(scratch.filePath(QStringLiteral("xdg/Velmora/UseTestServer.plist")));
    ASSERT_TRUE(settings.open(QIODevice::WriteOnly));
    settings.write(PropertyList::toXml(
        QVariantMap{{QStringLiteral("dvr_update_server"),
                     server.url(QStringLiteral("/ww_inform/fcache.do")).toString()},
                    {QStringLiteral("dvr_update_check_url"),
                     server.url(QStringLiteral("/soft/qx20/check/index.html")).toString()},
                    {QStringLiteral("dvr_update_ca_file"), server.caFile()}}));
  }

  QByteArray recorderFile(const QString& name) const {
    QFile file(QDir(recorder).filePath(name));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
  }

  // The updates the file-copy recorder has applied.
  QVariantList appliedUpdates() const {
    const auto state =
        PropertyList::readDictionaryFile(QDir(recorder).filePath(QStringLiteral("state.plist")));
    return state ? state->value(QStringLiteral("applied")).toList() : QVariantList();
  }

  static QString text(const char* messageId) {
    return CMLocalize::localizedString(QString::fromLatin1(messageId));
  }

  QTemporaryDir scratch;
  QString recorder;
};

const QByteArray kScsiIni =
    "[FIRMWARE]\r\nMode=1\r\nName=firmware.bin\r\nVersion=1100\r\nWriteAddress=0x40000\r\n"
    "TransferLength=0x1E0000\r\nTargetCPU=MainCPU\r\n";
const QByteArray kFileCopyIni = "[FIRMWARE]\nMode=2\nName=firmware.zip\nVersion=2100\n";

TEST_F(TextRunTest, EachExampleRecorderIsUpdatedWithoutQuestions) {
  TestHttpsServer server;
  ASSERT_TRUE(server.isRunning());
  struct Case {
    const char* example;
    const char* package;
    QByteArray ini;
    const char* offeredVersion;
  };
  const Case cases[] = {
      {"scsi-mode-change", "firmware.bin", kScsiIni, "00001100"},
      {"file-copy-two-volumes", "firmware.zip", kFileCopyIni, "00002100"},
      {"product-information", "firmware.zip",
       "[FIRMWARE]\nMode=2\nName=firmware.zip\nVersion=3100\n", "00003100"},
  };
  for (const Case& c : cases) {
    for (const bool fromServer : {false, true}) {
      SCOPED_TRACE(std::string(c.example) + (fromServer ? " from the server" : " local"));
      scratch.remove();
      ASSERT_TRUE(QDir().mkpath(scratch.path()));
      const QString packageName = QString::fromLatin1(c.package);
      prepare(QString::fromLatin1(c.example), packageName, fromServer ? QByteArray() : c.ini);
      if (fromServer) {
        serve(server, packageName, QString::fromLatin1(c.offeredVersion));
      }
      const ToolRun result = run({QStringLiteral("--yes")});
      EXPECT_EQ(result.status, 0) << result.out.toStdString() << result.err.toStdString();
      EXPECT_TRUE(result.out.contains(text("ID_MSG_COMPLETED"))) << result.out.toStdString();
      EXPECT_FALSE(result.out.contains(QStringLiteral("[!]"))) << result.out.toStdString();
      EXPECT_EQ(result.out.contains(text("ID_MSG_CONECTTING_TO_SERVER")), fromServer);

      QFile package(scratch.filePath(packageName));
      ASSERT_TRUE(package.open(QIODevice::ReadOnly));
      const QByteArray image = package.readAll();
      if (packageName.endsWith(QStringLiteral(".bin"))) {
        EXPECT_EQ(recorderFile(QStringLiteral("flash-dsp.bin")).left(image.size()), image);
      } else {
        const QVariantList applied = appliedUpdates();
        ASSERT_EQ(applied.size(), 1);
        int64_t bytes = 0;
        for (const QVariant& file :
             applied.front().toMap().value(QStringLiteral("files")).toList()) {
          bytes += file.toMap().value(QStringLiteral("bytes")).toLongLong();
        }
        EXPECT_EQ(bytes, KvoUnZip::totalFileSizeInZipFileAtPath(package.fileName()));
      }
    }
  }
}

TEST_F(TextRunTest, TooLittleSpaceIsReportedAndNothingIsWritten) {
  prepare(QStringLiteral("file-copy-two-volumes"), QStringLiteral("firmware.zip"), kFileCopyIni,
          {{QStringLiteral("volumes"),
            QVariantList{QVariantMap{{QStringLiteral("freeBytes"), qint64{1000}}}}}});
  const ToolRun result = run({QStringLiteral("--yes")});
  EXPECT_EQ(result.status, 1) << result.out.toStdString();
  EXPECT_TRUE(result.out.contains(QStringLiteral("[!] ") + text("ID_ERR_NOT_ENOUGH_SPACE")))
      << result.out.toStdString();
  EXPECT_FALSE(QDir(recorder).exists(QStringLiteral("volume1/System")));
  EXPECT_FALSE(result.out.contains(text("ID_MSG_UPDATING")));
}

TEST_F(TextRunTest, AReadBackMismatchEndsWithCode18) {
  prepare(QStringLiteral("scsi-mode-change"), QStringLiteral("firmware.bin"), kScsiIni,
          {{QStringLiteral("faults"),
            QVariantList{QVariantMap{{QStringLiteral("kind"), QStringLiteral("verifyMismatch")},
                                     {QStringLiteral("offset"), qint64{100}}}}}});
  const ToolRun result = run({QStringLiteral("--yes")});
  EXPECT_EQ(result.status, 1) << result.out.toStdString();
  const QString alert =
      text("ID_ERR_CAMERA_COMMUNICATION").replace(QStringLiteral("%d"), QStringLiteral("18"));
  EXPECT_TRUE(result.out.contains(QStringLiteral("[!] ") + alert)) << result.out.toStdString();
  // The run ends at the alert: the box is never ticked.
  EXPECT_FALSE(result.out.contains(text("ID_MSG_COMPLETED")));
}

TEST_F(TextRunTest, APersonAnswersEachPageFromStandardInput) {
  prepare(QStringLiteral("file-copy-two-volumes"), QStringLiteral("firmware.zip"), kFileCopyIni);
  struct Case {
    const char* name;
    QByteArray answers;
    int status;
    bool updated;
    int quitQuestions;
  };
  // Opening: Next. Offer: Update (no details in local mode). Confirm: Yes. Licence: Disagree,
  // then Update, Yes, Agree. Updating: tick, Next. Completed: Close.
  const Case cases[] = {
      {"whole run", "1\n1\n1\n1\n1\n1\n2\n1\n2\n1\n", 0, true, 0},
      {"no to the update, then the input ends", "1\n1\n2\n", 1, false, 0},
      // Closing on the Updating page asks first: No stays, Yes quits.
      {"quitting on the Updating page", "1\n1\n1\n2\nq\n2\nq\n1\n", 1, true, 2},
      {"closing the window at the start", "q\n", 1, false, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    QFile::remove(QDir(recorder).filePath(QStringLiteral("state.plist")));
    const ToolRun result = run({}, c.answers);
    EXPECT_EQ(result.status, c.status) << result.out.toStdString() << result.err.toStdString();
    EXPECT_EQ(appliedUpdates().size(), c.updated ? 1 : 0) << result.out.toStdString();
    EXPECT_EQ(result.out.count(text("ID_MSG_QUIT_APP")), c.quitQuestions)
        << result.out.toStdString();
  }
}

TEST_F(TextRunTest, UnknownArgumentsAreBadUsageAndHelpNeedsNoDisplay) {
  prepare(QStringLiteral("file-copy-two-volumes"), QStringLiteral("firmware.zip"), kFileCopyIni);
  const ToolRun result = run({QStringLiteral("--yse")});
  EXPECT_EQ(result.status, 2);
  EXPECT_TRUE(result.err.contains(QStringLiteral("--yse")));
  EXPECT_EQ(result.err.count(u'\n'), 1);

  // Without --text, a window would need this display, which does not exist.
  const ToolRun help = runProgram(
      scratch.filePath(QStringLiteral("Tarnwell/bin/tarnwell")), {QStringLiteral("--help")},
      {QStringLiteral("QT_QPA_PLATFORM=xcb"), QStringLiteral("DISPLAY=:99"),
       QStringLiteral("WAYLAND_DISPLAY=")});
  EXPECT_EQ(help.status, 0) << help.err.toStdString();
  EXPECT_TRUE(help.out.startsWith(QStringLiteral("usage: tarnwell"))) << help.out.toStdString();
}

}  // namespace
