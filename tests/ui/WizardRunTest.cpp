#include "app/sim/VirtualRecorderRack.h"
#include "app/ui/AlertWindowController.h"
#include "app/ui/CompletedPageViewController.h"
#include "app/ui/LicensePageViewController.h"
#include "app/ui/MainWindowController.h"
#include "app/ui/OpeningPageViewController.h"
#include "app/ui/UpdaterAvailablePageViewController.h"
#include "app/ui/UpdatingPageViewController.h"
#include "tests/support/QStringPrinter.h"
#include "tests/support/TestController.h"
#include "tests/ui/UiTestEnvironment.h"

#include "ui_AlertWindowController.h"
#include "ui_CompletedPageViewController.h"
#include "ui_LicensePageViewController.h"
#include "ui_OpeningPageViewController.h"
#include "ui_UpdaterAvailablePageViewController.h"
#include "ui_UpdatingPageViewController.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

using UiTest::text;

namespace {

// The desktop wizard on a virtual recorder in local mode, driven by its buttons; alerts
// are answered by the hook with the default button and recorded.
class WizardRunTest : public ::testing::Test {
 protected:
  // The recorder is an example's copy.
  void start() {
    recorder = scratch.filePath(u"recorder"_s);
    ASSERT_TRUE(copyExampleRecorder(u"scsi-mode-change"_s, recorder, {{u"restartSeconds"_s, 0.2}}));
    auto installed = VirtualRecorderRack::install({recorder});
    ASSERT_TRUE(std::holds_alternative<std::unique_ptr<VirtualRecorderRack>>(installed));
    rack = std::get<std::unique_ptr<VirtualRecorderRack>>(std::move(installed));
    controller = makeTestController();
    QFile::copy(exampleFile(u"scsi-mode-change"_s, u"firmware.bin"_s),
                scratch.filePath(u"firmware.bin"_s));
    LocalUpdateInfo local;
    local.firmwareName = u"firmware.bin"_s;
    local.version = u"1100"_s;
    controller->setLocalUpdateInfo(local, scratch.path());

    window = std::make_unique<MainWindowController>(*controller);
    controller->setMainWindowController(window.get());
    QObject::connect(window.get(), &MainWindowController::terminationRequested,
                     [this] { terminated = true; });
    AlertWindowController::setModalAnswerHook([this](AlertWindowController& alert) {
      alerts << alert.outlets().messageLabel->text();
      return 1;
    });
  }

  void TearDown() override {
    AlertWindowController::setModalAnswerHook({});
    if (controller != nullptr) {
      controller->setMainWindowController(nullptr);
    }
    window.reset();
    controller.reset();
    rack.reset();
  }

  template <typename Page>
  Page* page() const {
    return qobject_cast<Page*>(window->currentPage());
  }

  QTemporaryDir scratch;
  QString recorder;
  std::unique_ptr<VirtualRecorderRack> rack;
  std::unique_ptr<FWUpdaterController> controller;
  std::unique_ptr<MainWindowController> window;
  QStringList alerts;
  bool terminated = false;
};

TEST_F(WizardRunTest, ALocalPackageIsWrittenFromOpeningToCompleted) {
  ASSERT_NO_FATAL_FAILURE(start());
  controller->showPage({WizardPage::opening, std::nullopt, std::nullopt});
  controller->bringMainWindowToFront();
  ASSERT_NE(page<OpeningPageViewController>(), nullptr);
  page<OpeningPageViewController>()->outlets().nextButton->click();
  ASSERT_TRUE(UiTest::pumpUntil([&] { return page<UpdaterAvailablePageViewController>(); }))
      << alerts.join(u'|').toStdString();
  EXPECT_TRUE(alerts.isEmpty()) << alerts.join(u'|').toStdString();

  auto* offer = page<UpdaterAvailablePageViewController>();
  ASSERT_TRUE(offer->outlets().updateButton->isEnabled());
  offer->outlets().updateButton->click();
  EXPECT_EQ(alerts, QStringList{text("ID_MSG_CONFIRM_UPDATE_CAMERA")});
  alerts.clear();
  ASSERT_NE(page<LicensePageViewController>(), nullptr);

  // Disagreeing returns to the offer; agreeing downloads with the main window hidden.
  page<LicensePageViewController>()->outlets().disagreeButton->click();
  ASSERT_NE(page<UpdaterAvailablePageViewController>(), nullptr);
  page<UpdaterAvailablePageViewController>()->outlets().updateButton->click();
  alerts.clear();
  page<LicensePageViewController>()->outlets().agreeButton->click();
  EXPECT_FALSE(window->isVisible());
  ASSERT_TRUE(UiTest::pumpUntil([&] { return page<UpdatingPageViewController>(); }))
      << alerts.join(u'|').toStdString();
  EXPECT_TRUE(window->isVisible());
  EXPECT_TRUE(controller->isNeededConfirmToQuit());

  Ui::UpdatingPageViewController& updating = page<UpdatingPageViewController>()->outlets();
  updating.confirmCheckBox->click();
  ASSERT_TRUE(UiTest::pumpUntil([&] { return !controller->isExecutingUpdate(); }));
  ASSERT_TRUE(UiTest::pumpUntil([&] { return updating.nextButton->isEnabled(); }));
  EXPECT_TRUE(updating.busyIndicator->isHidden());
  EXPECT_TRUE(alerts.isEmpty()) << alerts.join(u'|').toStdString();
  updating.nextButton->click();
  ASSERT_NE(page<CompletedPageViewController>(), nullptr);
  EXPECT_FALSE(controller->isNeededConfirmToQuit());

  page<CompletedPageViewController>()->outlets().closeButton->click();
  EXPECT_TRUE(terminated);
  EXPECT_TRUE(alerts.isEmpty());

  EXPECT_TRUE(recorderTookPackage(recorder, scratch.filePath(u"firmware.bin"_s)));
}

}  // namespace
