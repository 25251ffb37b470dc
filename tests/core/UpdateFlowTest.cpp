#include "app/core/FWUpdaterController.h"
#include "app/device/AudioDeviceDetectorReal.h"
#include "app/device/AudioDeviceInterfaceReal.h"
#include "app/firmware/FileCopyProcedure.h"
#include "app/firmware/LocalFileManager.h"
#include "app/firmware/ScsiTransferProcedure.h"
#include "app/localize/CMLocalize.h"
#include "app/service/DownloadManagerReal.h"
#include "app/sim/VirtualRecorderRack.h"
#include "platform/PropertyList.h"
#include "tests/support/QStringPrinter.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <deque>

using namespace std::chrono_literals;

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

bool pumpUntil(const std::function<bool()>& done, std::chrono::seconds bound = 30s) {
  QElapsedTimer timer;
  timer.start();
  while (!done()) {
    if (timer.elapsed() > std::chrono::milliseconds(bound).count()) {
      return false;
    }
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
  }
  return true;
}

class UpdateFlowTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (QCoreApplication::instance() == nullptr) {
      static int argc = 1;
      static char name[] = "test_core";
      static char* argv[] = {name, nullptr};
      static QCoreApplication app(argc, argv);
    }
  }

  // A copy of an example recorder with `changes` made to its recorder.plist.
  QString recorderFrom(const QString& example, const QVariantMap& changes = {}) {
    const QDir source(QStringLiteral(TARNWELL_SOURCE_DIR "/resources/examples/") + example);
    QString folder = scratch.filePath(example + QString::number(recorders.size()));
    QDir().mkpath(folder);
    for (const QString& file : source.entryList(QDir::Files)) {
      QFile::copy(source.filePath(file), QDir(folder).filePath(file));
    }
    auto config =
        PropertyList::readDictionaryFile(source.filePath(QStringLiteral("recorder.plist")));
    for (auto it = changes.begin(); it != changes.end(); ++it) {
      config->insert(it.key(), it.value());
    }
    QFile plist(QDir(folder).filePath(QStringLiteral("recorder.plist")));
    plist.open(QIODevice::WriteOnly);
    plist.write(PropertyList::toXml(*config));
    recorders.append(folder);
    return folder;
  }

  void start() {
    auto installed = VirtualRecorderRack::install(recorders);
    ASSERT_TRUE(std::holds_alternative<std::unique_ptr<VirtualRecorderRack>>(installed));
    rack = std::get<std::unique_ptr<VirtualRecorderRack>>(std::move(installed));
    const auto instant = [](std::chrono::milliseconds) {};
    ScsiTransferProcedure::Pauses scsiPauses;
    scsiPauses.sleep = instant;
    FileCopyProcedure::Pauses copyPauses;
    copyPauses.sleep = instant;
    controller = std::make_unique<FWUpdaterController>(
        std::make_shared<RunningEnvironmentMock>(1),
        std::make_shared<AudioDeviceDetectorReal>(0ms, QStringList{}),
        std::make_shared<AudioDeviceInterfaceReal>(
            std::make_shared<ScsiTransferProcedure>(scsiPauses),
            std::make_shared<FileCopyProcedure>(copyPauses, std::make_shared<LocalFileManager>(),
                                                QDir::tempPath()),
            AudioDeviceInterfaceReal::Waits{100ms, 5000ms, 5000ms}),
        std::make_shared<DownloadManagerReal>());
    controller->mainWindowController = &ui;
    controller->checkPauses = {0ms, 0ms, 0ms};
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

  void TearDown() override {
    controller.reset();
    rack.reset();
  }

  QTemporaryDir scratch;
  QStringList recorders;
  std::unique_ptr<VirtualRecorderRack> rack;
  ScriptedInterface ui;
  std::unique_ptr<FWUpdaterController> controller;
};

TEST_F(UpdateFlowTest, LocalPackageIsCopiedOntoAFileCopyRecorderAndApplied) {
  const QString folder = recorderFrom(QStringLiteral("file-copy-two-volumes"));
  start();
  useLocalPackage(QStringLiteral("file-copy-two-volumes"), QStringLiteral("firmware.zip"),
                  QStringLiteral("2100"));
  controller->next();
  ASSERT_EQ(ui.pages, std::vector{WizardPage::updaterAvailable})
      << ui.alerts.join(u'|').toStdString();
  EXPECT_EQ(ui.lastRequest.device->deviceName, QString::fromUtf8("VR-5201\0", 8));
  EXPECT_FALSE(ui.progressMessages.contains(QStringLiteral("Connecting to the update server...")));

  controller->performUpdateFirmware();
  EXPECT_EQ(ui.pages.back(), WizardPage::license);
  EXPECT_EQ(
      ui.alerts,
      QStringList{CMLocalize::localizedString(QStringLiteral("ID_MSG_CONFIRM_UPDATE_CAMERA"))});
  ui.alerts.clear();
  controller->startDownload();
  EXPECT_FALSE(ui.mainWindowShown);
  ASSERT_TRUE(pumpUntil([&] { return ui.pages.back() == WizardPage::updating; }))
      << ui.alerts.join(u'|').toStdString();
  EXPECT_TRUE(controller->isNeededConfirmToQuit);
  ASSERT_TRUE(pumpUntil([&] { return !controller->isExecutingUpdate; }));
  EXPECT_TRUE(ui.alerts.isEmpty()) << ui.alerts.join(u'|').toStdString();

  // Quitting now asks; the user's confirmation on the page ends the run.
  ui.answers = {0};
  EXPECT_FALSE(controller->shouldClose());
  controller->goToNext();
  EXPECT_EQ(ui.pages.back(), WizardPage::completed);
  EXPECT_TRUE(controller->shouldClose());

  const auto state =
      PropertyList::readDictionaryFile(QDir(folder).filePath(QStringLiteral("state.plist")));
  ASSERT_TRUE(state);
  const QVariantList applied = state->value(QStringLiteral("applied")).toList();
  ASSERT_EQ(applied.size(), 1);
  QStringList names;
  for (const QVariant& file : applied.front().toMap().value(QStringLiteral("files")).toList()) {
    names.append(file.toMap().value(QStringLiteral("name")).toString());
  }
  EXPECT_EQ(names, (QStringList{QStringLiteral("UPDATE.TXT"), QStringLiteral("VR5201.BIN")}));
}

TEST_F(UpdateFlowTest, ARecorderThatNeedsTheModeChangeIsWrittenAndReadBack) {
  const QString folder =
      recorderFrom(QStringLiteral("scsi-mode-change"), {{QStringLiteral("restartSeconds"), 0.2}});
  start();
  useLocalPackage(QStringLiteral("scsi-mode-change"), QStringLiteral("firmware.bin"),
                  QStringLiteral("1100"));
  controller->next();
  ASSERT_EQ(ui.pages, std::vector{WizardPage::updaterAvailable})
      << ui.alerts.join(u'|').toStdString();
  controller->startDownload();
  ASSERT_TRUE(pumpUntil([&] {
    return ui.pages.back() == WizardPage::updating && !controller->isExecutingUpdate;
  })) << ui.alerts.join(u'|').toStdString();
  EXPECT_TRUE(ui.alerts.isEmpty()) << ui.alerts.join(u'|').toStdString();

  QFile flash(QDir(folder).filePath(QStringLiteral("flash-dsp.bin")));
  QFile package(scratch.filePath(QStringLiteral("firmware.bin")));
  ASSERT_TRUE(flash.open(QIODevice::ReadOnly) && package.open(QIODevice::ReadOnly));
  const QByteArray image = package.readAll();
  EXPECT_EQ(flash.readAll().left(image.size()), image);
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
  ASSERT_TRUE(pumpUntil([&] { return !ui.alerts.isEmpty(); }));
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

TEST_F(UpdateFlowTest, TwoRecordersAreOneTooMany) {
  recorderFrom(QStringLiteral("file-copy-two-volumes"));
  recorderFrom(QStringLiteral("product-information"));
  start();
  ui.answers = {0};
  controller->next();
  EXPECT_EQ(ui.alerts,
            QStringList{CMLocalize::localizedString(QStringLiteral("ID_ERR_PLURAL_RECORDER"))});
}

}  // namespace
