#include "app/localize/CMLocalize.h"
#include "app/service/DownloadManagerReal.h"
#include "app/sim/VirtualRecorderRack.h"
#include "app/update/FWUpdaterController.h"
#include "platform/PropertyList.h"
#include "tests/support/QStringPrinter.h"
#include "tests/support/TestController.h"
#include "tests/support/TestHttpsServer.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <deque>

namespace {

// A front end that records what the run shows and answers alerts from a script (the
// default button when the script is empty).
class ScriptedInterface final : public UpdaterUserInterface {
 public:
  struct Progress final : ProgressView {
    explicit Progress(ScriptedInterface& owner) : owner_(owner) {}
    void setMessage(const QString& message) override { owner_.progressMessages.append(message); }
    void setIndeterminate(bool /*indeterminate*/) override {}
    void setValue(double /*percent*/) override {}
    bool isShown() const override { return shown_; }
    void close() override { shown_ = false; }
    ScriptedInterface& owner_;
    bool shown_ = true;
  };
  struct DownloadWindow final : DownloadProgressView {
    void setProgressValue(int /*percent*/) override {}
    void setPastTimeInterval(double /*seconds*/) override {}
    void setRemainTimeInterval(double /*seconds*/) override {}
    void setCancelEnabled(bool /*enabled*/) override {}
    void close() override {}
  };

  std::optional<int> runAlert(const AlertRequest& alert) override {
    alerts.append(alert.message);
    if (answers.empty()) {
      return 1;
    }
    const int answer = answers.front();
    answers.pop_front();
    return answer;
  }
  std::unique_ptr<DownloadProgressView> showDownloadProgress(
      std::function<void()> /*cancel*/) override {
    return std::make_unique<DownloadWindow>();
  }
  void showPage(const WizardPageRequest& request) override {
    pages.push_back(request.page);
    lastRequest = request;
  }
  void hideMainWindow() override { mainWindowShown = false; }
  void showMainWindow() override { mainWindowShown = true; }
  std::unique_ptr<ProgressView> showProgress(bool /*taller*/) override {
    return std::make_unique<Progress>(*this);
  }
  void terminate() override { terminated = true; }

  std::deque<int> answers;
  QStringList alerts;
  QStringList progressMessages;
  std::vector<WizardPage> pages;
  WizardPageRequest lastRequest;
  bool mainWindowShown = true;
  bool terminated = false;
};

class UpdateFlowTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    testApplication();
    // English texts, so that an alert is told from another by its text.
    qputenv("LANGUAGE", "en");
    CMLocalize::initializeSharedWithFilePath(
        QStringLiteral(TARNWELL_BUNDLE_DIR "/share/tarnwell/Localizable.olc"));
  }

  // A copy of an example recorder with `changes` made to its recorder.plist.
  QString recorderFrom(const QString& example, const QVariantMap& changes = {}) {
    QString folder = scratch.filePath(example + QString::number(recorders.size()));
    EXPECT_TRUE(copyExampleRecorder(example, folder, changes));
    recorders.append(folder);
    return folder;
  }

  void start(const DownloadManagerReal::Configuration& service = {}) {
    auto installed = VirtualRecorderRack::install(recorders);
    ASSERT_TRUE(std::holds_alternative<std::unique_ptr<VirtualRecorderRack>>(installed));
    rack = std::get<std::unique_ptr<VirtualRecorderRack>>(std::move(installed));
    controller = makeTestController(service);
    controller->mainWindowController = &ui;
  }

  // A file-copy recorder in local mode taken as far as the Updating page, with its finish
  // step still running behind it.
  QString startSlowUpdate() {
    QString folder = recorderFrom(QStringLiteral("file-copy-two-volumes"), slowAnswers());
    start();
    useLocalPackage(QStringLiteral("file-copy-two-volumes"), QStringLiteral("firmware.zip"),
                    QStringLiteral("2100"));
    controller->next();
    controller->startDownload();
    EXPECT_TRUE(processEventsUntil([&] { return ui.pages.back() == WizardPage::updating; }));
    EXPECT_TRUE(controller->isExecutingUpdate);
    return folder;
  }

  // Local mode: the package beside the (pretend) application, described by its INI values.
  void useLocalPackage(const QString& example, const QString& package, const QString& version) {
    QFile::copy(
        QStringLiteral(TARNWELL_SOURCE_DIR "/resources/examples/") + example + u'/' + package,
        scratch.filePath(package));
    LocalUpdateInfo local;
    local.firmwareName = package;
    local.version = version;
    controller->localUpdateInfo = local;
    controller->localFirmwareFolder = scratch.path();
  }

  // Server mode: the local HTTPS service, offering `answer` and serving the example's package.
  DownloadManagerReal::Configuration serve(const QByteArray& answer) {
    server.setAnswer(answer);
    QFile package(QStringLiteral(TARNWELL_SOURCE_DIR
                                 "/resources/examples/file-copy-two-volumes/firmware.zip"));
    package.open(QIODevice::ReadOnly);
    server.addFile(QStringLiteral("firmware.zip"), package.readAll());
    DownloadManagerReal::Configuration service;
    service.updateInfoURL = server.url(QStringLiteral("/ww_inform/fcache.do"));
    service.connectionCheckURL = server.url(QStringLiteral("/soft/qx20/check/index.html"));
    service.caFile = server.caFile();
    return service;
  }

  // The service's answer offering one package.
  QByteArray offer(const QString& version, const QString& fileName = QStringLiteral("firmware.zip"),
                   const QString& path = QStringLiteral("/files/firmware.zip")) const {
    return QStringLiteral(
               "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<firmware_result>"
               "<revision>0001</revision><firmwares><firmware_info>"
               "<maker_code>KVO</maker_code><model_name>VR-5201</model_name>"
               "<model_id>0220</model_id><hardware_kind>DVR</hardware_kind>"
               "<version>%1</version><file_name>%2</file_name><file_size>4096</file_size>"
               "<url>%3</url><up_date>20261201 10:00:00</up_date><comment>Better.</comment>"
               "<detail_url></detail_url><extension_comment></extension_comment>"
               "</firmware_info></firmwares></firmware_result>")
        .arg(version, fileName, server.url(path).toString())
        .toUtf8();
  }

  // A recorder that pauses before every answer, so that the follow-up step is still running
  // when the Updating page has appeared.
  static QVariantMap slowAnswers() {
    return {{QStringLiteral("faults"),
             QVariantList{QVariantMap{{QStringLiteral("kind"), QStringLiteral("latency")},
                                      {QStringLiteral("seconds"), 0.2}}}}};
  }

  static QString text(const char* messageId) {
    return CMLocalize::localizedString(QString::fromLatin1(messageId));
  }

  QStringList appliedFiles(const QString& folder) const {
    const auto state =
        PropertyList::readDictionaryFile(QDir(folder).filePath(QStringLiteral("state.plist")));
    QStringList names;
    if (state) {
      for (const QVariant& update : state->value(QStringLiteral("applied")).toList()) {
        for (const QVariant& file : update.toMap().value(QStringLiteral("files")).toList()) {
          names.append(file.toMap().value(QStringLiteral("name")).toString());
        }
      }
    }
    return names;
  }

  void TearDown() override {
    controller.reset();
    rack.reset();
  }

  TestHttpsServer server;

  QTemporaryDir scratch;
  QStringList recorders;
  std::unique_ptr<VirtualRecorderRack> rack;
  ScriptedInterface ui;
  std::unique_ptr<FWUpdaterController> controller;
};

TEST_F(UpdateFlowTest, QuittingWhileTheRecorderAppliesTheUpdateIsAskedAbout) {
  const QString folder = startSlowUpdate();
  ASSERT_FALSE(HasFailure());
  ui.alerts.clear();

  // No: the run goes on to its end.
  ui.answers = {0};
  EXPECT_FALSE(controller->shouldClose());
  EXPECT_EQ(ui.alerts, QStringList{text("ID_MSG_QUIT_APP")});
  ASSERT_TRUE(processEventsUntil([&] { return !controller->isExecutingUpdate; }));
  EXPECT_EQ(ui.alerts.size(), 1) << ui.alerts.join(u'|').toStdString();
  EXPECT_EQ(appliedFiles(folder).size(), 2);
}

TEST_F(UpdateFlowTest, QuittingDuringTheFollowUpStepLeavesNothingRunning) {
  startSlowUpdate();
  ASSERT_FALSE(HasFailure());
  ui.answers = {1};
  EXPECT_TRUE(controller->shouldClose());
  EXPECT_FALSE(controller->isNeededConfirmToQuit);
  // The application ends here: the controller and the recorder go while the step runs.
  controller.reset();
  rack.reset();
  QCoreApplication::processEvents();
}

TEST_F(UpdateFlowTest, TooLittleSpaceLeadsBackToTheOfferAndWritesNothing) {
  const QString folder =
      recorderFrom(QStringLiteral("file-copy-two-volumes"),
                   {{QStringLiteral("volumes"),
                     QVariantList{QVariantMap{{QStringLiteral("freeBytes"), qint64{1000}}}}}});
  start();
  useLocalPackage(QStringLiteral("file-copy-two-volumes"), QStringLiteral("firmware.zip"),
                  QStringLiteral("2100"));
  controller->next();
  controller->startDownload();
  ASSERT_TRUE(processEventsUntil([&] { return !ui.alerts.isEmpty(); }));
  EXPECT_EQ(ui.alerts,
            QStringList{CMLocalize::localizedString(QStringLiteral("ID_ERR_NOT_ENOUGH_SPACE"))});
  EXPECT_EQ(ui.pages.back(), WizardPage::updaterAvailable);
  EXPECT_TRUE(ui.mainWindowShown);
  EXPECT_FALSE(controller->isExecutingUpdate);
  EXPECT_FALSE(QDir(folder).exists(QStringLiteral("volume1/System")));
}

TEST_F(UpdateFlowTest, DetectionProblemsAreAskedAboutOrReported) {
  // No recorder: Retry, then Cancel.
  start();
  ui.answers = {1, 0};
  controller->next();
  const QString none = CMLocalize::localizedString(QStringLiteral("ID_ERR_DETECT_RECORDER"));
  EXPECT_EQ(ui.alerts, (QStringList{none, none}));
  EXPECT_TRUE(ui.pages.empty());
}

TEST_F(UpdateFlowTest, AStepThatNeverEndsGivesUpWithCode14) {
  // Every answer takes longer than the check is willing to wait for a whole step.
  recorderFrom(QStringLiteral("file-copy-two-volumes"),
               {{QStringLiteral("faults"),
                 QVariantList{QVariantMap{{QStringLiteral("kind"), QStringLiteral("latency")},
                                          {QStringLiteral("seconds"), 1.0}}}}});
  start();
  controller->checkPauses.longestStep = std::chrono::milliseconds(300);
  controller->next();
  EXPECT_EQ(
      ui.alerts,
      QStringList{
          text("ID_ERR_CAMERA_COMMUNICATION").replace(QStringLiteral("%d"), QStringLiteral("14"))});
  EXPECT_TRUE(ui.pages.empty());
}

TEST_F(UpdateFlowTest, TwoRecordersAreOneTooMany) {
  recorderFrom(QStringLiteral("file-copy-two-volumes"));
  recorderFrom(QStringLiteral("product-information"));
  start();
  ui.answers = {0};
  controller->next();
  EXPECT_EQ(ui.alerts,
            QStringList{CMLocalize::localizedString(QStringLiteral("ID_ERR_PLURAL_RECORDER"))});
}

TEST_F(UpdateFlowTest, TheServersNewerPackageIsDownloadedAndApplied) {
  const QString folder = recorderFrom(QStringLiteral("file-copy-two-volumes"));
  start(serve(offer(QStringLiteral("00002100"))));
  controller->next();
  ASSERT_EQ(ui.pages, std::vector{WizardPage::updaterAvailable})
      << ui.alerts.join(u'|').toStdString();
  EXPECT_TRUE(ui.progressMessages.contains(text("ID_MSG_CONECTTING_TO_SERVER")));
  // The request names the recorder's model and its own firmware version.
  const QByteArray request = server.lastRequest();
  EXPECT_TRUE(request.contains("<hard_code>KVOE5201")) << request.toStdString();
  EXPECT_TRUE(request.contains("<firmware_version>00002000</firmware_version>"))
      << request.toStdString();

  controller->performUpdateFirmware();
  ui.alerts.clear();
  controller->startDownload();
  ASSERT_TRUE(processEventsUntil([&] {
    return ui.pages.back() == WizardPage::updating && !controller->isExecutingUpdate;
  })) << ui.alerts.join(u'|').toStdString();
  EXPECT_TRUE(ui.alerts.isEmpty()) << ui.alerts.join(u'|').toStdString();
  EXPECT_EQ(server.hits(QStringLiteral("/files/firmware.zip")), 1);
  EXPECT_EQ(appliedFiles(folder),
            (QStringList{QStringLiteral("UPDATE.TXT"), QStringLiteral("VR5201.BIN")}));
}

TEST_F(UpdateFlowTest, TheServersAnswerDecidesThePage) {
  recorderFrom(QStringLiteral("file-copy-two-volumes"));
  start(serve({}));
  const struct {
    QByteArray answer;
    WizardPage page;
  } cases[] = {
      {offer(QStringLiteral("00002000")), WizardPage::updaterNone},  // the recorder's own
      {offer(QStringLiteral("00001900")), WizardPage::updaterNone},
      {offer(QStringLiteral("00002001")), WizardPage::updaterAvailable},
      {"<firmware_result><firmwares>", WizardPage::updaterNone},
      {"", WizardPage::updaterNone},
  };
  for (const auto& [answer, page] : cases) {
    server.setAnswer(answer);
    ui.pages.clear();
    controller->updaterInfo.reset();
    controller->next();
    EXPECT_EQ(ui.pages, std::vector{page}) << answer.toStdString();
    EXPECT_TRUE(ui.alerts.isEmpty()) << ui.alerts.join(u'|').toStdString();
  }
}

TEST_F(UpdateFlowTest, ServerProblemsAreReported) {
  recorderFrom(QStringLiteral("file-copy-two-volumes"));
  DownloadManagerReal::Configuration service = serve(offer(QStringLiteral("00002100")));
  service.updateInfoURL = server.url(QStringLiteral("/status/503"));
  start(service);
  controller->next();
  // Nothing to retry: the server answered.
  EXPECT_EQ(ui.alerts, QStringList{CMLocalize::formatWithStrings(
                           CMLocalize::shared()->getLocalizedStringWithReplaceEscape(
                               QStringLiteral("ID_ERR_SERVER_COMMUNICATION")),
                           {QStringLiteral("HTTP 503")})});
  EXPECT_TRUE(ui.pages.empty());
}

TEST_F(UpdateFlowTest, WithoutAConnectionTheCheckStartsAgainFromDetectionOnRetry) {
  recorderFrom(QStringLiteral("file-copy-two-volumes"));
  DownloadManagerReal::Configuration service = serve(offer(QStringLiteral("00002100")));
  service.connectionCheckURL = QUrl(QStringLiteral("https://127.0.0.1:1/"));
  start(service);
  ui.answers = {1, 0};  // Retry, then Cancel
  controller->next();
  const QString offline = text("ID_ERR_INTERNET_COMMUNICATION");
  EXPECT_EQ(ui.alerts, (QStringList{offline, offline}));
  EXPECT_EQ(ui.progressMessages.count(text("ID_DETECT_RECORDER")), 2);
  EXPECT_EQ(server.hits(QStringLiteral("/ww_inform/fcache.do")), 0);
  EXPECT_TRUE(ui.pages.empty());
}

TEST_F(UpdateFlowTest, TheLocalDataDirectoryDescribesTheServersPackage) {
  recorderFrom(QStringLiteral("file-copy-two-volumes"));
  // The recorder's device ID 27393 is 6B01.
  QDir(scratch.path()).mkpath(QStringLiteral("data/6B01"));
  QFile response(scratch.filePath(QStringLiteral("data/6B01/Response.xml")));
  ASSERT_TRUE(response.open(QIODevice::WriteOnly));
  response.write(offer(QStringLiteral("00002200"), QStringLiteral("local.zip"),
                       QStringLiteral("/files/local.zip")));
  response.close();
  QDir(scratch.path()).mkpath(QStringLiteral("etc/Velmora"));
  QFile settings(scratch.filePath(QStringLiteral("etc/Velmora/UseTestServer.plist")));
  ASSERT_TRUE(settings.open(QIODevice::WriteOnly));
  settings.write(PropertyList::toXml(QVariantMap{{QStringLiteral("dvr_update_localmode_data_dir"),
                                                  scratch.filePath(QStringLiteral("data"))}}));
  settings.close();
  const QByteArray savedDirs = qgetenv("XDG_CONFIG_DIRS");
  qputenv("XDG_CONFIG_DIRS", scratch.filePath(QStringLiteral("etc")).toUtf8());

  start(serve(offer(QStringLiteral("00002100"))));
  controller->next();
  qputenv("XDG_CONFIG_DIRS", savedDirs);
  ASSERT_EQ(ui.pages, std::vector{WizardPage::updaterAvailable})
      << ui.alerts.join(u'|').toStdString();
  ASSERT_TRUE(ui.lastRequest.firmwareInfo);
  EXPECT_EQ(ui.lastRequest.firmwareInfo->version, QStringLiteral("2200"));
  EXPECT_EQ(ui.lastRequest.firmwareInfo->fileName, QStringLiteral("local.zip"));
  EXPECT_EQ(ui.lastRequest.firmwareInfo->fileURL,
            server.url(QStringLiteral("/files/firmware.zip")).toString());
}

}  // namespace
