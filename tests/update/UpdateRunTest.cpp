#include "app/localize/CMLocalize.h"
#include "app/sim/VirtualRecorderRack.h"
#include "app/update/FWUpdaterController.h"
#include "tests/support/QStringPrinter.h"
#include "tests/support/TestController.h"
#include "tests/support/TestHttpsServer.h"
#include "tests/update/ScriptedUserInterface.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <thread>

using namespace Qt::StringLiterals;

namespace {

using namespace std::chrono_literals;
using Page = WizardPage;

QStringList alerts(const QStringList& messageIds) {
  QStringList messages;
  for (const QString& id : messageIds) {
    messages << messageText(id);
  }
  return messages;
}
QVariantMap fault(const QString& kind, const QString& key, const QVariant& value) {
  return {{u"faults"_s, QVariantList{QVariantMap{{u"kind"_s, kind}, {key, value}}}}};
}
// Threads of this process, to tell that a run left none behind.
int threadCount() { return static_cast<int>(QDir(u"/proc/self/task"_s).count()) - 2; }

// Whole update runs of the controller on virtual recorders, in local mode (the package beside
// the application) or from the local HTTPS service; the front end is scripted.
class UpdateRunTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    testApplication();
    qputenv("LANGUAGE", "en");  // an alert is told from another by its text
    CMLocalize::initializeSharedWithFilePath(
        QStringLiteral(TARNWELL_BUNDLE_DIR "/share/tarnwell/Localizable.olc"));
  }

  enum class Service { none, offering, offline, unavailable, late, slowCheck };
  struct Run {  // NOLINT(clang-analyzer-optin.performance.Padding): a table row
    const char* name;
    QStringList examples;  // the recorders attached
    Service service;       // none: local mode
    std::deque<std::optional<int>> answers;
    std::vector<WizardPage> pages;
    QStringList alerts;  // message IDs
    bool updated = false;
    QVariantMap changes = {};  // to the first recorder's recorder.plist
    std::chrono::milliseconds longestStep{0};
    bool cancelDownload = false;  // Cancel in the download window as soon as it shows
  };

  static QString packageOf(const QString& example) {
    return example == u"scsi-mode-change"_s ? u"firmware.bin"_s : u"firmware.zip"_s;
  }
  static QString versionOf(const QString& example) {
    return example == u"scsi-mode-change"_s        ? u"1100"_s
           : example == u"file-copy-two-volumes"_s ? u"2100"_s
                                                   : u"3100"_s;
  }

  // Attaches copies of `examples` and makes the controller, served as `service` says.
  void start(const QStringList& examples, const QVariantMap& changes, Service service) {
    controller.reset();
    rack.reset();
    folders.clear();
    for (const QString& example : examples) {
      folders << scratch.filePath(u"%1-%2"_s.arg(example).arg(++made));
      ASSERT_TRUE(copyExampleRecorder(example, folders.back(),
                                      folders.size() == 1 ? changes : QVariantMap{}));
    }
    auto installed = VirtualRecorderRack::install(folders);
    ASSERT_TRUE(std::holds_alternative<std::unique_ptr<VirtualRecorderRack>>(installed));
    rack = std::get<std::unique_ptr<VirtualRecorderRack>>(std::move(installed));
    const QString example = examples.value(0, u"file-copy-two-volumes"_s);
    package = exampleFile(example, packageOf(example));
    DownloadManagerReal::Configuration configuration;
    if (service != Service::none) {
      QFile file(package);
      ASSERT_TRUE(file.open(QIODevice::ReadOnly));
      server.addFile(packageOf(example), file.readAll());
      server.setAnswer(
          server.offer(u"0000"_s + versionOf(example), packageOf(example), file.size()));
      configuration = serviceOf(server);
      if (service == Service::offline) {
        configuration.connectionCheckURL = QUrl(u"https://127.0.0.1:1/"_s);
      } else if (service == Service::unavailable) {
        configuration.updateInfoURL = server.url(u"/status/503"_s);
      } else if (service == Service::late) {
        configuration.updateInfoURL = server.url(u"/ww_inform/fcache.do?delay=2"_s);
      } else if (service == Service::slowCheck) {
        configuration.connectionCheckURL = server.url(u"/soft/qx20/check/index.html?delay=1"_s);
      }
    }
    controller = makeTestController(configuration);
    controller->setMainWindowController(&ui);
    if (service == Service::none) {
      LocalUpdateInfo local;
      local.firmwareName = packageOf(example);
      local.version = versionOf(example);
      controller->setLocalUpdateInfo(local, QFileInfo(package).path());
    }
  }

  // The user takes the run as far as it goes: Next, Update (Yes), Agree, and on the Updating
  // page, once the recorder is done, Next.
  void play(const Run& run) {
    ui = ScriptedUserInterface{};
    ui.answers = run.answers;
    if (run.longestStep > 0ms) {
      controller->setCheckPauses({0ms, 0ms, 0ms, run.longestStep});
    }
    controller->next();
    if (ui.pages.empty() || ui.pages.back() != Page::updaterAvailable) {
      return;
    }
    controller->performUpdateFirmware();
    const qsizetype alerts = ui.alerts.size();
    controller->startDownload();
    if (run.cancelDownload) {
      ASSERT_FALSE(ui.downloads.empty());
      ui.downloads.front().cancel();
      ASSERT_TRUE(processEventsUntil([&] { return ui.downloads.front().closed; }));
      processEventsUntil([] { return false; }, 1s);  // nothing may follow
      return;
    }
    ASSERT_TRUE(processEventsUntil([&] {
      return ui.alerts.size() > alerts ||
             (ui.pages.back() == Page::updating && !controller->isExecutingUpdate());
    }));
    if (ui.pages.back() == Page::updating) {
      controller->goToNext();
    }
  }

  void TearDown() override {
    controller.reset();
    rack.reset();
  }

  TestHttpsServer server;
  QTemporaryDir scratch;
  int made = 0;
  QStringList folders;
  QString package;
  std::unique_ptr<VirtualRecorderRack> rack;
  ScriptedUserInterface ui;
  std::unique_ptr<FWUpdaterController> controller;
};

// The check hands the service's answer to the main thread before storing it, and only while
// it still waits for it.
TEST_F(UpdateRunTest, AnAnswerAfterTheCheckGaveUpIsDropped) {
  ASSERT_TRUE(server.isRunning());
  start({u"file-copy-two-volumes"_s}, {}, Service::late);
  play({"late", {}, Service::late, {}, {}, {}, false, {}, 500ms});
  EXPECT_EQ(ui.alertMessages(), alerts({u"ID_ERR_CAMERA_COMMUNICATION 14"_s}));
  // The answer comes two seconds after the request; wait for it to have been handled.
  processEventsUntil([] { return false; }, 3s);
  EXPECT_FALSE(controller->updaterInfo());
  EXPECT_EQ(ui.alerts.size(), 1);
}

TEST_F(UpdateRunTest, EachRunEndsOnItsPageWithItsAlerts) {
  ASSERT_TRUE(server.isRunning());
  using enum WizardPage;
  using enum Service;
  const QString scsi = u"scsi-mode-change"_s;
  const QString copy = u"file-copy-two-volumes"_s;
  const QString info = u"product-information"_s;
  const std::vector<WizardPage> whole{updaterAvailable, license, updating, completed};
  const QString confirm = u"ID_MSG_CONFIRM_UPDATE_CAMERA"_s;
  const QString communication = u"ID_ERR_CAMERA_COMMUNICATION"_s;
  // clang-format off
  const Run runs[] = {
      {"scsi, local", {scsi}, none, {}, whole, {confirm}, true},
      {"file copy, local", {copy}, none, {}, whole, {confirm}, true},
      {"product information, local", {info}, none, {}, whole, {confirm}, true},
      {"file copy, served", {copy}, offering, {}, whole, {confirm}, true},
      // Cancel pressed while the download window still checks the connection.
      {"Cancel during the connection check", {copy}, slowCheck, {},
       {updaterAvailable, license, updaterAvailable}, {confirm}, false, {}, 0ms, true},
      {"product information, served", {info}, offering, {}, whole, {confirm}, true},
      // The transfer takes long enough for its bar to move.
      {"scsi, slow transfer", {scsi}, none, {}, whole, {confirm}, true,
       fault(u"rate"_s, u"bytesPerSecond"_s, 1e6)},
      {"too little space", {copy}, none, {}, {updaterAvailable, license, updaterAvailable},
       {confirm, u"ID_ERR_NOT_ENOUGH_SPACE"_s}, false,
       {{u"volumes"_s, QVariantList{QVariantMap{{u"freeBytes"_s, qint64{1000}}}}}}},
      // The recorder refuses a piece of the firmware: the driver reports an I/O error.
      {"the transfer fails", {scsi}, none, {}, {updaterAvailable, license, opening},
       {confirm, communication + u" -536870198"_s}, false,
       {{u"faults"_s, QVariantList{QVariantMap{{u"kind"_s, u"checkCondition"_s},
                                              {u"command"_s, u"UpdateFirmwareUploadFirmware"_s},
                                              {u"occurrence"_s, 2}}}}}},
      {"the read-back differs", {scsi}, none, {}, whole, {confirm, communication + u" 18"_s}, true,
       fault(u"verifyMismatch"_s, u"offset"_s, qint64{100})},
      {"no recorder: Retry, then Cancel", {}, none, {1, 0}, {},
       {u"ID_ERR_DETECT_RECORDER"_s, u"ID_ERR_DETECT_RECORDER"_s}},
      {"a step that never ends", {copy}, none, {}, {}, {communication + u" 14"_s}, false,
       fault(u"latency"_s, u"seconds"_s, 1.0), 300ms},
      {"the service is unavailable", {copy}, unavailable, {}, {},
       {u"ID_ERR_SERVER_COMMUNICATION HTTP 503"_s}},
      // Retry starts the check again from detection.
      {"no connection: Retry, then Cancel", {copy}, offline, {1, 0}, {},
       {u"ID_ERR_INTERNET_COMMUNICATION"_s, u"ID_ERR_INTERNET_COMMUNICATION"_s}},
  };
  // clang-format on
  for (const Run& run : runs) {
    SCOPED_TRACE(run.name);
    server.reset();
    ASSERT_NO_FATAL_FAILURE(start(run.examples, run.changes, run.service));
    ASSERT_NO_FATAL_FAILURE(play(run));
    EXPECT_EQ(ui.pages, run.pages);
    EXPECT_EQ(ui.alertMessages(), alerts(run.alerts));
    EXPECT_FALSE(controller->isExecutingUpdate());
    EXPECT_FALSE(controller->isNeededConfirmToQuit());
    EXPECT_TRUE(ui.mainWindowShown);
    for (const auto& window : ui.progress) {
      EXPECT_TRUE(window.closed) << window.calls.join(u'|').toStdString();
    }
    const QString folder = folders.value(0);
    EXPECT_EQ(!folder.isEmpty() && recorderTookPackage(folder, package), run.updated);
    if (!run.updated && !folder.isEmpty()) {
      EXPECT_FALSE(QDir(folder).exists(u"volume1/System"_s));
    }

    // The check's window names the service only in server mode.
    QStringList checkCalls;
    for (const auto& window : ui.progress) {
      if (!window.taller) {
        checkCalls += window.calls;
      }
    }
    // (Without a connection, whether the service was being reached when it failed is timing.)
    if (run.service != Service::offline) {
      EXPECT_EQ(checkCalls.contains(u"message "_s + messageText(u"ID_MSG_CONECTTING_TO_SERVER"_s)),
                run.service != Service::none);
    }
    if (run.service == Service::offering) {
      // The request names the recorder's model and firmware; the package is fetched once.
      EXPECT_TRUE(server.lastRequest().contains("<hard_code>KVOE"))
          << server.lastRequest().toStdString();
      EXPECT_TRUE(server.lastRequest().contains("<firmware_version>0000"));
      EXPECT_EQ(server.hits(u"/files/"_s + QFileInfo(package).fileName()), 1);
    }
    if (run.service == Service::offline) {
      EXPECT_EQ(server.hits(u"/ww_inform/fcache.do"_s), 0);
    }
    if (run.cancelDownload) {
      EXPECT_EQ(server.hits(u"/files/"_s + QFileInfo(package).fileName()), 0);
      continue;
    }

    // The transfer's window: indeterminate until the recorder reports, then the percentage.
    const auto transfer = std::find_if(ui.progress.begin(), ui.progress.end(),
                                       [](const auto& window) { return window.taller; });
    if (std::find(run.pages.begin(), run.pages.end(), Page::license) == run.pages.end() ||
        run.alerts.contains(u"ID_ERR_NOT_ENOUGH_SPACE"_s)) {
      continue;
    }
    ASSERT_NE(transfer, ui.progress.end());
    EXPECT_EQ(transfer->calls.mid(0, 3),
              (QStringList{u"indeterminate 1"_s, u"value 0"_s,
                           u"message "_s + messageText(u"ID_MSG_TRANSFER_FIRMWARE"_s)}));
    EXPECT_TRUE(transfer->closed);
    if (std::string(run.name) == "scsi, slow transfer") {
      const qsizetype determinate = transfer->calls.indexOf(u"indeterminate 0"_s);
      ASSERT_GT(determinate, 0) << transfer->calls.join(u'|').toStdString();
      double last = 0;
      for (const QString& call : transfer->calls.mid(determinate)) {
        if (call.startsWith(u"value "_s)) {
          const double percent = call.mid(6).toDouble();
          EXPECT_GE(percent, last);
          EXPECT_LE(percent, 100.0);
          last = percent;
        }
      }
      EXPECT_GT(last, 0.0);
    }
  }
}

// An older offer, or none, ends on the no-update page (the served runs take a newer one).
TEST_F(UpdateRunTest, TheServersAnswerDecidesThePage) {
  ASSERT_TRUE(server.isRunning());
  start({u"file-copy-two-volumes"_s}, {}, Service::offering);
  for (const QByteArray& answer :
       {server.offer(u"00001900"_s, u"firmware.zip"_s, 4096), QByteArray()}) {
    server.setAnswer(answer);
    ui.pages.clear();
    controller->setUpdaterInfo(std::nullopt);
    controller->next();
    EXPECT_EQ(ui.pages, std::vector{Page::updaterNone}) << answer.toStdString();
    EXPECT_TRUE(ui.alerts.isEmpty()) << ui.alertMessages().join(u'|').toStdString();
  }
}

TEST_F(UpdateRunTest, TheLocalDataDirectoryDescribesTheServersPackage) {
  // The recorder's device ID 27393 is 6B01.
  QDir(scratch.path()).mkpath(u"data/6B01"_s);
  QFile response(scratch.filePath(u"data/6B01/Response.xml"_s));
  ASSERT_TRUE(response.open(QIODevice::WriteOnly));
  response.write(server.offer(u"00002200"_s, u"local.zip"_s, 4096));
  response.close();
  ASSERT_TRUE(writeSettingsFile(scratch.filePath(u"etc"_s), {{u"dvr_update_localmode_data_dir"_s,
                                                              scratch.filePath(u"data"_s)}}));
  const QByteArray savedDirs = qgetenv("XDG_CONFIG_DIRS");
  qputenv("XDG_CONFIG_DIRS", scratch.filePath(u"etc"_s).toUtf8());
  start({u"file-copy-two-volumes"_s}, {}, Service::offering);
  controller->next();
  qputenv("XDG_CONFIG_DIRS", savedDirs);
  ASSERT_EQ(ui.pages, std::vector{Page::updaterAvailable});
  ASSERT_TRUE(ui.lastRequest.firmwareInfo);
  EXPECT_EQ(ui.lastRequest.firmwareInfo->version, u"2200"_s);
  EXPECT_EQ(ui.lastRequest.firmwareInfo->fileName, u"local.zip"_s);
  EXPECT_EQ(ui.lastRequest.firmwareInfo->fileURL, server.url(u"/files/firmware.zip"_s).toString());
}

// A recorder that pauses before every answer keeps the follow-up step running after the
// Updating page has appeared.
class QuitDuringUpdateTest : public UpdateRunTest {
 protected:
  void SetUp() override {
    // A sanitizer's runtime starts a thread of its own with the first thread the process
    // makes; one made and joined here leaves only the run's threads to count.
    std::thread([] {}).join();
    baseline = threadCount();
    start({u"file-copy-two-volumes"_s}, fault(u"latency"_s, u"seconds"_s, 0.2), Service::none);
    controller->next();
    controller->startDownload();
    ASSERT_TRUE(processEventsUntil([&] { return ui.pages.back() == Page::updating; }));
    ASSERT_TRUE(controller->isExecutingUpdate());
    ui.alerts.clear();
  }
  int baseline = 0;
};

TEST_F(QuitDuringUpdateTest, QuittingWhileTheRecorderAppliesTheUpdateIsAskedAbout) {
  ui.answers = {0};  // No: the run goes on to its end.
  EXPECT_FALSE(controller->shouldClose());
  EXPECT_EQ(ui.alertMessages(), QStringList{messageText(u"ID_MSG_QUIT_APP"_s)});
  ASSERT_TRUE(processEventsUntil([&] { return !controller->isExecutingUpdate(); }));
  EXPECT_EQ(ui.alerts.size(), 1) << ui.alertMessages().join(u'|').toStdString();
  EXPECT_EQ(appliedFiles(folders.front()).size(), 2);
}

// Confirmed, the quit waits for the recorder with the window shown and a word on why; a relaunch
// meanwhile reaches this window (WindowsTest). The step's outcome is the recorder's.
TEST_F(QuitDuringUpdateTest, AQuitDuringTheFollowUpStepWaitsForTheRecorder) {
  ui.answers = {1};
  EXPECT_FALSE(controller->shouldClose());
  EXPECT_FALSE(controller->shouldClose()) << "asked once";
  EXPECT_EQ(ui.alertMessages(), QStringList{messageText(u"ID_MSG_QUIT_APP"_s)});
  ASSERT_FALSE(ui.progress.empty());
  EXPECT_TRUE(ui.progress.back().calls.contains(u"message "_s +
                                                messageText(u"ID_MSG_QUIT_AFTER_RECORDER"_s)));
  EXPECT_EQ(ui.terminations, 0);
  ASSERT_TRUE(processEventsUntil([&] { return ui.terminations > 0; }));
  EXPECT_FALSE(controller->isExecutingUpdate());
  EXPECT_TRUE(ui.progress.back().closed);
  EXPECT_EQ(appliedFiles(folders.front()).size(), 2);
  EXPECT_FALSE(controller->isInterrupted());
  EXPECT_EQ(ui.terminations, 1);
}

// A signal asks the same question; Yes stops the step after the recorder command in flight,
// before the recorder is told to apply the files.
TEST_F(QuitDuringUpdateTest, ASignalDuringTheFollowUpStepStopsItOnceConfirmed) {
  ui.answers = {1};
  EXPECT_TRUE(controller->handleTerminationSignal(true));
  EXPECT_EQ(ui.alertMessages(), QStringList{messageText(u"ID_MSG_QUIT_APP"_s)});
  EXPECT_TRUE(controller->isInterrupted());
  ASSERT_TRUE(processEventsUntil([&] { return ui.terminations > 0; }));
  EXPECT_FALSE(controller->isExecutingUpdate());
  EXPECT_TRUE(appliedFiles(folders.front()).isEmpty());
  EXPECT_EQ(ui.alerts.size(), 1) << "an interruption is no error";
}

// The controller and the recorder may go while the step runs (the process ends): nothing
// reports afterwards, and no thread is left.
TEST_F(QuitDuringUpdateTest, EndingDuringTheFollowUpStepLeavesNothingRunning) {
  ASSERT_GT(threadCount(), baseline);  // the device queue and the recorder's own
  controller.reset();
  rack.reset();
  const auto shown = std::tuple(ui.alerts.size(), ui.pages.size(), ui.progress.size());
  ASSERT_TRUE(processEventsUntil([&] { return threadCount() <= baseline; }, 10s))
      << threadCount() << " threads, " << baseline << " before the run";
  const auto deadline = std::chrono::steady_clock::now() + 500ms;
  while (std::chrono::steady_clock::now() < deadline) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
  }
  EXPECT_EQ(std::tuple(ui.alerts.size(), ui.pages.size(), ui.progress.size()), shown);
  EXPECT_LE(threadCount(), baseline);
}

// A signal while the image is uploaded: with nobody to ask, the upload stops after the piece
// in flight and the application ends without an alert; outside the update the caller ends the
// process itself.
TEST_F(UpdateRunTest, ASignalDuringTheUploadStopsItAfterThePieceInFlight) {
  start({u"scsi-mode-change"_s}, fault(u"rate"_s, u"bytesPerSecond"_s, 2e5), Service::none);
  EXPECT_FALSE(controller->handleTerminationSignal(true));
  controller->next();
  controller->performUpdateFirmware();
  controller->startDownload();
  ASSERT_TRUE(processEventsUntil([&] {
    return !ui.progress.empty() && ui.progress.back().calls.contains(u"indeterminate 0"_s);
  }));
  EXPECT_TRUE(controller->handleTerminationSignal(false));
  ASSERT_TRUE(processEventsUntil([&] { return ui.terminations > 0; }));
  EXPECT_TRUE(controller->isInterrupted());
  EXPECT_FALSE(controller->isExecutingUpdate());
  EXPECT_EQ(ui.alertMessages(), alerts({u"ID_MSG_CONFIRM_UPDATE_CAMERA"_s}));
  EXPECT_NE(ui.pages.back(), Page::updating);
  EXPECT_FALSE(recorderTookPackage(folders.front(), package));
  EXPECT_TRUE(ui.progress.back().closed);
}

}  // namespace
