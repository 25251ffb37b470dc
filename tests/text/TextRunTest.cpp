#include "app/localize/CMLocalize.h"
#include "tests/support/CopyTree.h"
#include "tests/support/QStringPrinter.h"
#include "tests/support/TestController.h"
#include "tests/support/TestHttpsServer.h"
#include "tests/support/ToolProcess.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>

using namespace Qt::StringLiterals;

namespace {

QString text(const char* messageId) {
  return CMLocalize::localizedString(QString::fromLatin1(messageId));
}

// Whole runs of the application in the terminal, as a user starts it: its prompts, its alerts
// and its exit status. The scenarios themselves are the update flow's (tests/update); here
// each reaches the terminal once. A bundle is a copy of the built one, bare or with a
// firmware.ini and its package beside it (local mode); the recorder is a virtual one or the
// simulated roles of the launch options, which these rows check as a user meets them (tests/sim
// keeps only what no run reaches). With --yes an alert takes Yes but Cancel over Retry.
class TextRunTest : public ::testing::Test {
 protected:
  // The copies of the bundle; a served run uses the bare one with the settings file that
  // names the local service.
  enum class Bundle { bare, fileCopy, served };

  static void SetUpTestSuite() {
    CMLocalize::initializeSharedWithFilePath(
        QStringLiteral(TARNWELL_BUNDLE_DIR "/share/tarnwell/Localizable.olc"));
    scratch = std::make_unique<QTemporaryDir>();
    server = std::make_unique<TestHttpsServer>();
    for (const QString& bundle : {u"0"_s, u"1"_s}) {
      ASSERT_TRUE(copyTree(QStringLiteral(TARNWELL_BUNDLE_DIR),
                           scratch->filePath(bundle + u"/Tarnwell"_s)));
    }
    const QDir example(exampleFile(u"file-copy-two-volumes"_s, {}));
    for (const QString& file : example.entryList({u"firmware.*"_s})) {
      ASSERT_TRUE(QFile::copy(example.filePath(file), scratch->filePath(u"1/"_s + file)));
    }
    QFile package(exampleFile(u"scsi-mode-change"_s, u"firmware.bin"_s));
    ASSERT_TRUE(package.open(QIODevice::ReadOnly));
    server->addFile(u"firmware.bin"_s, package.readAll());
    server->setAnswer(server->offer(u"00001100"_s, u"firmware.bin"_s, package.size()));
    ASSERT_TRUE(writeSettingsFile(scratch->filePath(u"served"_s), serviceSettingsOf(*server)));
  }
  static void TearDownTestSuite() {
    server.reset();
    scratch.reset();
  }

  // No settings file unless the run is served: the machine's must not switch anything on.
  static ToolRun run(Bundle bundle, const QStringList& arguments,
                     const std::optional<QByteArray>& input = std::nullopt,
                     const QStringList& environment = {}) {
    const bool served = bundle == Bundle::served;
    return runProgram(
        scratch->filePath(u"%1/Tarnwell/bin/tarnwell"_s.arg(served ? 0 : static_cast<int>(bundle))),
        arguments,
        QStringList{u"XDG_CONFIG_DIRS="_s + scratch->filePath(served ? u"served"_s : u"none"_s)} +
            environment,
        input);
  }

  static inline std::unique_ptr<QTemporaryDir> scratch;
  static inline std::unique_ptr<TestHttpsServer> server;
};

TEST_F(TextRunTest, EachRunEndsWithItsAlertAndExitStatus) {
  ASSERT_TRUE(server->isRunning());
  const QString mock = QStringLiteral(TARNWELL_SOURCE_DIR "/resources/examples/mock/");
  const auto devices = [&](const char* name) {
    return u"--mock_devices="_s + mock + QString::fromLatin1(name);
  };
  const auto response = [&](const char* name) {
    return u"--mock_response="_s + mock + QString::fromLatin1(name);
  };
  const QString newer = response("response-newer.plist");
  const QString one = devices("devices-one.plist");
  const QString fail = u"--mock_device_fail"_s;
  const QString full = u"--mock_device_diskfull"_s;
  const QString fileCopy = u"file-copy-two-volumes"_s;
  const QString scsi = u"scsi-mode-change"_s;
  const QString fileCopyPackage = exampleFile(fileCopy, u"firmware.zip"_s);
  const auto communication = [](int code) {
    return text("ID_ERR_CAMERA_COMMUNICATION").replace(u"%d"_s, QString::number(code));
  };
  struct Case {  // NOLINT(clang-analyzer-optin.performance.Padding): a table row
    const char* name;
    Bundle bundle;
    QString recorder;  // the example of the virtual recorder; none: the options' roles
    QStringList options;
    std::optional<QByteArray> input;  // none: --yes
    int status;
    QString alert = {};    // the one "[!]" alert; none when empty
    QString package = {};  // what the recorder took; none when empty
    int quitQuestions = 0;
  };
  const QString bin = exampleFile(scsi, u"firmware.bin"_s);
  // Standard input: Opening: Next. Offer: Update (no details in local mode). Confirm: Yes.
  // Licence: Disagree, then Update, Yes, Agree. Updating: tick, Next. Completed: Close.
  // clang-format off
  const Case cases[] = {
      {"served package", Bundle::served, scsi, {}, {}, 0, {}, bin},
      {"a person answers each page", Bundle::fileCopy, fileCopy, {}, "1\n1\n1\n1\n1\n1\n2\n1\n2\n1\n", 0,
       {}, fileCopyPackage},
      {"no to the update, then the input ends", Bundle::fileCopy, fileCopy, {}, "1\n1\n2\n", 1},
      // Closing on the Updating page asks first: No stays, Yes quits.
      {"quitting on the Updating page", Bundle::fileCopy, fileCopy, {}, "1\n1\n1\n2\nq\n2\nq\n1\n", 1, {},
       fileCopyPackage, 2},
      {"closing the window at the start", Bundle::fileCopy, fileCopy, {}, "q\n", 1},
      {"simulated: two recorders", Bundle::bare, {}, {devices("devices-two.plist"), newer}, {}, 1,
       text("ID_ERR_PLURAL_RECORDER")},
      {"simulated: unsupported model", Bundle::bare, {}, {devices("devices-unsupported-product.plist"), newer},
       {}, 1, text("ID_ERR_DIFFERENT_RECORDER")},
      {"simulated: foreign vendor", Bundle::bare, {}, {devices("devices-foreign-vendor.plist"), newer}, {}, 1,
       text("ID_ERR_DETECT_RECORDER")},
      {"simulated: no network", Bundle::bare, {}, {one, newer, u"--mock_nonetwork"_s}, {}, 1,
       text("ID_ERR_INTERNET_COMMUNICATION")},
      {"simulated: nothing newer", Bundle::bare, {}, {one, response("response-equal.plist")}, {}, 3},
      {"simulated: not found", Bundle::bare, {}, {one, response("response-404.plist")}, {}, 1,
       text("ID_ERR_SERVER_COMMUNICATION").replace(u"%s"_s, u"HTTP 404"_s)},
      // Faults act only on the simulated recorders given before them.
      {"simulated: failure after the recorders", Bundle::bare, {}, {one, fail, newer}, {}, 1, communication(-1)},
      {"simulated: disk full after the recorders", Bundle::bare, {}, {one, newer, full}, {}, 1,
       text("ID_ERR_NOT_ENOUGH_SPACE")},
      {"simulated: faults before the recorders", Bundle::bare, {}, {fail, full, one, newer}, {}, 0},
      {"simulated server, virtual recorder", Bundle::bare, fileCopy, {newer}, {}, 0, {},
       mock + u"firmware-5201-2100.zip"_s},
  };
  // clang-format on
  int made = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    QStringList arguments{u"--text"_s};
    if (!c.input) {
      arguments << u"--yes"_s;
    }
    arguments += c.options;
    const QString folder = scratch->filePath(u"recorder%1"_s.arg(++made));
    if (!c.recorder.isEmpty()) {
      ASSERT_TRUE(copyExampleRecorder(c.recorder, folder));
      arguments << u"--virtual_recorder="_s + folder;
    }
    const ToolRun result = run(c.bundle, arguments, c.input.value_or(QByteArray()));
    const std::string log = result.out.toStdString() + result.err.toStdString();
    EXPECT_EQ(result.status, c.status) << log;
    EXPECT_EQ(result.out.count(u"[!]"_s), c.alert.isEmpty() ? 0 : 1) << log;
    if (!c.alert.isEmpty()) {
      EXPECT_TRUE(result.out.contains(u"[!] "_s + c.alert)) << log;
    }
    EXPECT_EQ(result.out.contains(text("ID_MSG_COMPLETED")), c.status == 0) << log;
    EXPECT_EQ(result.out.count(text("ID_MSG_QUIT_APP")), c.quitQuestions) << log;
    if (!c.recorder.isEmpty()) {
      EXPECT_EQ(result.out.contains(text("ID_MSG_CONECTTING_TO_SERVER")),
                c.bundle == Bundle::bare || c.bundle == Bundle::served)
          << log;
      if (c.package.isEmpty()) {
        EXPECT_TRUE(appliedFiles(folder).isEmpty());
      } else {
        EXPECT_TRUE(recorderTookPackage(folder, c.package));
      }
    }
  }
}

TEST_F(TextRunTest, BadUsageSecondInstanceAndHelpEndAtOnce) {
  const ToolRun usage = run(Bundle::bare, {u"--text"_s, u"--yse"_s});
  EXPECT_EQ(usage.status, 2);
  EXPECT_TRUE(usage.err.contains(u"--yse"_s));
  EXPECT_EQ(usage.err.count(u'\n'), 1);

  const ToolRun second =
      run(Bundle::bare, {u"--text"_s, u"--yes"_s, u"--instance_count=2"_s,
                         QStringLiteral("--mock_devices=" TARNWELL_SOURCE_DIR
                                        "/resources/examples/mock/devices-one.plist")});
  EXPECT_EQ(second.status, 0);
  EXPECT_TRUE(second.out.isEmpty()) << second.out.toStdString();
  EXPECT_TRUE(second.err.isEmpty()) << second.err.toStdString();

  // Without --text, a window would need this display, which does not exist.
  const ToolRun help = run(Bundle::bare, {u"--help"_s}, std::nullopt,
                           {u"QT_QPA_PLATFORM=xcb"_s, u"DISPLAY=:99"_s, u"WAYLAND_DISPLAY="_s});
  EXPECT_EQ(help.status, 0) << help.err.toStdString();
  EXPECT_TRUE(help.out.startsWith(u"usage: tarnwell"_s)) << help.out.toStdString();
}

}  // namespace
