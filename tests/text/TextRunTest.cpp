#include "app/localize/CMLocalize.h"
#include "tests/support/CopyTree.h"
#include "tests/support/QStringPrinter.h"
#include "tests/support/TestController.h"
#include "tests/support/TestHttpsServer.h"
#include "tests/support/ToolProcess.h"

#include <QDir>
#include <QFile>
#include <QProcessEnvironment>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <csignal>
#include <memory>
#include <ostream>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

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
 public:
  // The copies of the bundle; a served run uses the bare one with the settings file that
  // names the local service.
  enum class Bundle { bare, fileCopy, served };

 protected:
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

// One whole run, a row of the table below: each is a test of its own, so that the runs, which
// mostly wait on the recorder, go side by side.
struct TextRun {  // NOLINT(clang-analyzer-optin.performance.Padding): a table row
  const char* name;
  TextRunTest::Bundle bundle;
  const char* recorder;  // the example of the virtual recorder; empty: the options' roles
  std::vector<const char*> options;  // "@mock/" stands for the simulated roles' folder
  std::optional<const char*> input;  // none: --yes
  int status;
  const char* alert = "";    // the one "[!]" alert's message ID and its value; none when empty
  const char* package = "";  // what the recorder took, "example/file" or "@mock/file"
  int quitQuestions = 0;
  bool inputEnds = false;  // the answers run out before the run ends
};

// The test's name says which row it is.
void PrintTo(const TextRun& run, std::ostream* out) { *out << run.name; }

class TextRunRows : public TextRunTest, public ::testing::WithParamInterface<TextRun> {
 protected:
  static QString mockPath(const char* path) {
    return QString::fromLatin1(path).replace(
        u"@mock/"_s, QStringLiteral(TARNWELL_SOURCE_DIR "/resources/examples/mock/"));
  }
  static QString packagePath(const char* package) {
    QString path = mockPath(package);
    if (path.startsWith(u'/')) {
      return path;
    }
    return exampleFile(path.section(u'/', 0, 0), path.section(u'/', 1));
  }
};

TEST_P(TextRunRows, EndsWithItsAlertAndExitStatus) {
  ASSERT_TRUE(server->isRunning());
  const TextRun& c = GetParam();
  QStringList arguments{u"--text"_s};
  if (!c.input) {
    arguments << u"--yes"_s;
  }
  for (const char* option : c.options) {
    arguments << mockPath(option);
  }
  const QString folder = scratch->filePath(u"recorder"_s);
  const bool virtualRecorder = *c.recorder != '\0';
  if (virtualRecorder) {
    ASSERT_TRUE(copyExampleRecorder(QString::fromLatin1(c.recorder), folder));
    arguments << u"--virtual_recorder="_s + folder;
  }
  const ToolRun result = run(c.bundle, arguments, QByteArray(c.input.value_or("")));
  const std::string log = result.out.toStdString() + result.err.toStdString();
  EXPECT_EQ(result.status, c.status) << log;
  EXPECT_EQ(result.out.count(u"[!]"_s), *c.alert == '\0' ? 0 : 1) << log;
  if (*c.alert != '\0') {
    EXPECT_TRUE(result.out.contains(u"[!] "_s + messageText(QString::fromLatin1(c.alert)))) << log;
  }
  EXPECT_EQ(result.out.contains(text("ID_MSG_COMPLETED")), c.status == 0) << log;
  EXPECT_EQ(result.out.count(text("ID_MSG_QUIT_APP")), c.quitQuestions) << log;
  EXPECT_EQ(result.err.contains(u"the input ended"_s), c.inputEnds) << log;
  EXPECT_FALSE(result.out.contains(u"] "_s + text("ID_BTN_CLOSE") + u"\n  [q] "_s)) << log;
  if (virtualRecorder) {
    EXPECT_EQ(result.out.contains(text("ID_MSG_CONECTTING_TO_SERVER")),
              c.bundle == Bundle::bare || c.bundle == Bundle::served)
        << log;
    if (*c.package == '\0') {
      EXPECT_TRUE(appliedFiles(folder).isEmpty());
    } else {
      EXPECT_TRUE(recorderTookPackage(folder, packagePath(c.package)));
    }
  }
}

using enum TextRunTest::Bundle;
const char* const newer = "--mock_response=@mock/response-newer.plist";
const char* const one = "--mock_devices=@mock/devices-one.plist";
const char* const fail = "--mock_device_fail";
const char* const full = "--mock_device_diskfull";
const char* const copyRecorder = "file-copy-two-volumes";
const char* const fileCopyPackage = "file-copy-two-volumes/firmware.zip";
// Standard input: Opening: Next. Offer: Update (no details in local mode). Confirm: Yes (y).
// Licence: Disagree (d), then Update, Yes, Agree (a). Updating: tick, Next. Completed: Close.
// clang-format off
INSTANTIATE_TEST_SUITE_P(Runs, TextRunRows, ::testing::Values(
    TextRun{"ServedPackage", served, "scsi-mode-change", {}, {}, 0, "", "scsi-mode-change/firmware.bin"},
    TextRun{"APersonAnswersEachPage", fileCopy, copyRecorder, {}, "1\n1\ny\nDisagree\n1\nyes\na\n1\n2\n1\n", 0,
            "", fileCopyPackage},
    // The confirmation does not take the 1 that moved the pages on: unanswered, it is No.
    TextRun{"HabitDoesNotConfirmTheUpdateThenTheInputEnds", fileCopy, copyRecorder, {}, "1\n1\n1\n1\n", 1, "",
            "", 0, true},
    // Closing on the Updating page asks first: No stays, Yes quits.
    TextRun{"QuittingOnTheUpdatingPage", fileCopy, copyRecorder, {}, "1\n1\ny\na\nq\nn\nq\ny\n", 1, "",
            fileCopyPackage, 2},
    TextRun{"ClosingTheWindowAtTheStart", fileCopy, copyRecorder, {}, "q\n", 1},
    TextRun{"SimulatedTwoRecorders", bare, "", {"--mock_devices=@mock/devices-two.plist", newer}, {}, 1,
            "ID_ERR_PLURAL_RECORDER"},
    TextRun{"SimulatedUnsupportedModel", bare, "",
            {"--mock_devices=@mock/devices-unsupported-product.plist", newer}, {}, 1,
            "ID_ERR_DIFFERENT_RECORDER"},
    TextRun{"SimulatedForeignVendor", bare, "", {"--mock_devices=@mock/devices-foreign-vendor.plist", newer},
            {}, 1, "ID_ERR_DETECT_RECORDER"},
    TextRun{"SimulatedNoNetwork", bare, "", {one, newer, "--mock_nonetwork"}, {}, 1,
            "ID_ERR_INTERNET_COMMUNICATION"},
    TextRun{"SimulatedNothingNewer", bare, "", {one, "--mock_response=@mock/response-equal.plist"}, {}, 3},
    TextRun{"SimulatedNotFound", bare, "", {one, "--mock_response=@mock/response-404.plist"}, {}, 1,
            "ID_ERR_SERVER_COMMUNICATION HTTP 404"},
    // Faults act only on the simulated recorders given before them.
    TextRun{"SimulatedFailureAfterTheRecorders", bare, "", {one, fail, newer}, {}, 1,
            "ID_ERR_CAMERA_COMMUNICATION -1"},
    TextRun{"SimulatedDiskFullAfterTheRecorders", bare, "", {one, newer, full}, {}, 1,
            "ID_ERR_NOT_ENOUGH_SPACE"},
    TextRun{"SimulatedFaultsBeforeTheRecorders", bare, "", {fail, full, one, newer}, {}, 0},
    TextRun{"SimulatedServerVirtualRecorder", bare, copyRecorder, {newer}, {}, 0, "",
            "@mock/firmware-5201-2100.zip"}),
    [](const ::testing::TestParamInfo<TextRun>& row) { return std::string(row.param.name); });
// clang-format on

// Signals as a user sends them (Ctrl-C, kill) to a run on the file-copy recorder: outside the
// update the process ends by the signal; during the write the package's private copy and the
// partial files go, and the status says that the update was interrupted.
TEST_F(TextRunTest, ASignalEndsTheRunAndDuringTheWriteTakesBackWhatItWrote) {
  const QString temporary = scratch->filePath(u"tmp"_s);
  const QString folder = scratch->filePath(u"signalled"_s);
  const auto packageCopies = [&] {
    return QDir(temporary).entryList({u"DVR_*"_s}, QDir::Files | QDir::Hidden);
  };
  const struct {
    const char* what;
    QStringList options;
    int signal;
    std::optional<int> status;  // none: ended by the signal
  } cases[] = {
      {"Ctrl-C at the first question", {}, SIGINT, std::nullopt},
      {"kill while the package is written", {u"--yes"_s}, SIGTERM, 5},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    QDir(temporary).removeRecursively();
    QDir(folder).removeRecursively();
    ASSERT_TRUE(QDir().mkpath(temporary));
    ASSERT_TRUE(copyExampleRecorder(u"file-copy-two-volumes"_s, folder));
    std::array<int, 2> in{-1, -1};
    std::array<int, 2> out{-1, -1};
    ASSERT_EQ(pipe2(in.data(), O_CLOEXEC), 0);
    ASSERT_EQ(pipe2(out.data(), O_CLOEXEC), 0);
    const std::optional<pid_t> pid =
        startProcess(QStringList{scratch->filePath(u"1/Tarnwell/bin/tarnwell"_s), u"--text"_s,
                                 u"--virtual_recorder="_s + folder} +
                         c.options,
                     {in[0], out[1], -2},
                     QProcessEnvironment::systemEnvironment().toStringList() +
                         QStringList{u"TMPDIR="_s + temporary,
                                     u"XDG_CONFIG_DIRS="_s + scratch->filePath(u"none"_s)});
    close(in[0]);
    close(out[1]);
    ASSERT_TRUE(pid);
    // The moment: the first prompt, or the package's copy lying in the temporary folder (the
    // recorder's pause before writing follows).
    QByteArray output;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (std::chrono::steady_clock::now() < deadline &&
           !(c.status ? !packageCopies().isEmpty() : output.contains("> "))) {
      pollfd ready{out[0], POLLIN, 0};
      std::array<char, 4096> buffer{};
      if (poll(&ready, 1, 10) > 0) {
        const ssize_t n = read(out[0], buffer.data(), buffer.size());
        if (n <= 0) {
          break;
        }
        output.append(buffer.data(), n);
      }
    }
    ASSERT_EQ(kill(*pid, c.signal), 0);
    std::array<char, 4096> buffer{};
    for (ssize_t n = 0; (n = read(out[0], buffer.data(), buffer.size())) > 0;) {
      output.append(buffer.data(), n);
    }
    close(out[0]);
    close(in[1]);
    int status = 0;
    ASSERT_EQ(waitpid(*pid, &status, 0), *pid);
    const std::string log = output.toStdString();
    if (c.status) {
      ASSERT_TRUE(WIFEXITED(status)) << log;
      EXPECT_EQ(WEXITSTATUS(status), *c.status) << log;
    } else {
      ASSERT_TRUE(WIFSIGNALED(status)) << log;
      EXPECT_EQ(WTERMSIG(status), c.signal);
    }
    EXPECT_FALSE(output.contains("[!]")) << log;
    EXPECT_TRUE(packageCopies().isEmpty());
    EXPECT_TRUE(QDir(folder + u"/volume1/System/Update"_s).isEmpty());
    EXPECT_TRUE(appliedFiles(folder).isEmpty());
  }
}

TEST_F(TextRunTest, BadUsageSecondInstanceNoDisplayAndHelpEndAtOnce) {
  const ToolRun usage = run(Bundle::bare, {u"--text"_s, u"--yse"_s});
  EXPECT_EQ(usage.status, 2);
  EXPECT_TRUE(usage.err.contains(u"--yse"_s));
  EXPECT_EQ(usage.err.count(u'\n'), 1);

  const ToolRun second =
      run(Bundle::bare, {u"--text"_s, u"--yes"_s, u"--instance_count=2"_s, u"--mock_response"_s,
                         QStringLiteral("--mock_devices=" TARNWELL_SOURCE_DIR
                                        "/resources/examples/mock/devices-one.plist")});
  EXPECT_EQ(second.status, 4);
  EXPECT_TRUE(second.out.isEmpty()) << second.out.toStdString();
  EXPECT_TRUE(second.err.contains(u"already running"_s)) << second.err.toStdString();
  // A second window with no running one to bring forward leaves quietly, and at once.
  const QString runtime = scratch->filePath(u"runtime"_s);
  ASSERT_TRUE(QDir().mkpath(runtime));
  QFile::setPermissions(runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
  const ToolRun secondWindow =
      run(Bundle::bare, {u"--instance_count=2"_s}, std::nullopt,
          {u"QT_QPA_PLATFORM=offscreen"_s, u"XDG_RUNTIME_DIR="_s + runtime});
  EXPECT_EQ(secondWindow.status, 0) << secondWindow.err.toStdString();

  // Without --text, a window would need this display, which does not exist.
  const ToolRun help = run(Bundle::bare, {u"--help"_s}, std::nullopt,
                           {u"QT_QPA_PLATFORM=xcb"_s, u"DISPLAY=:99"_s, u"WAYLAND_DISPLAY="_s});
  EXPECT_EQ(help.status, 0) << help.err.toStdString();
  EXPECT_TRUE(help.out.startsWith(u"usage: tarnwell"_s)) << help.out.toStdString();
  const ToolRun version = run(Bundle::bare, {u"--version"_s}, std::nullopt,
                              {u"QT_QPA_PLATFORM="_s, u"DISPLAY="_s, u"WAYLAND_DISPLAY="_s});
  EXPECT_EQ(version.status, 0);
  EXPECT_TRUE(version.out.startsWith(u"tarnwell 1."_s)) << version.out.toStdString();

  // Without a display and without --text, no window can open: it says so instead of aborting.
  const ToolRun noDisplay = run(Bundle::bare, {}, std::nullopt,
                                {u"QT_QPA_PLATFORM="_s, u"DISPLAY="_s, u"WAYLAND_DISPLAY="_s});
  EXPECT_EQ(noDisplay.status, 2) << noDisplay.err.toStdString();
  EXPECT_TRUE(noDisplay.err.contains(u"tarnwell --text runs it"_s)) << noDisplay.err.toStdString();
}

}  // namespace
