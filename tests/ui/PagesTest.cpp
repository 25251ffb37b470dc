#include "app/ui/LicensePageViewController.h"
#include "app/ui/MainWindowController.h"
#include "app/ui/OpeningPageViewController.h"
#include "app/ui/UpdaterAvailablePageViewController.h"
#include "app/ui/UpdaterNonePageViewController.h"
#include "app/ui/UpdatingPageViewController.h"
#include "tests/support/QStringPrinter.h"
#include "tests/ui/UiTestEnvironment.h"

#include "ui_LicensePageViewController.h"
#include "ui_OpeningPageViewController.h"
#include "ui_UpdaterAvailablePageViewController.h"
#include "ui_UpdaterNonePageViewController.h"
#include "ui_UpdatingPageViewController.h"

#include <QKeyEvent>
#include <QScrollBar>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

using UiTest::text;

namespace {

AudioDevice recorder(const QString& name, const QString& version) {
  AudioDevice device(0x0547, 0x2201);
  device.deviceName = name;
  device.version = version;
  return device;
}

FirmwareInfo firmware(const QString& version, int64_t fileSize, const QString& fileURL,
                      const QString& detailURL) {
  FirmwareInfo info;
  info.version = version;
  info.fileSize = fileSize;
  info.fileURL = fileURL;
  info.detailURL = detailURL;
  return info;
}

// The cells of a result table, row by row; an empty text where the page made no cell.
QList<QStringList> cells(QTableWidget* table) {
  QList<QStringList> rows;
  for (int row = 0; row < table->rowCount(); ++row) {
    QStringList texts;
    for (int column = 0; column < table->columnCount(); ++column) {
      texts << (table->item(row, column) != nullptr ? table->item(row, column)->text() : QString());
    }
    rows << texts;
  }
  return rows;
}

class PagesTest : public ::testing::Test {
 protected:
  std::unique_ptr<FWUpdaterController> controller = UiTest::idleController();
};

TEST_F(PagesTest, UpdaterAvailableTableShowsVersionsAndSizes) {
  const QString https = u"https://example.com/f.zip"_s;
  const QString mb = text("ID_UNIT_MB");
  struct Case {
    std::optional<AudioDevice> device;
    std::optional<FirmwareInfo> firmwareInfo;
    QList<QStringList> rows;
  };
  const Case cases[] = {
      {recorder(u"VR-5201"_s, u"1230"_s),
       firmware(u"1300"_s, 1572864, https, https),
       {{u"VR-5201"_s, u"1.23"_s, u"1.30"_s, u"1.5"_s + mb}}},
      // Without an offer the recorder's own columns are still shown.
      {recorder(u"VR-1"_s, u"1000"_s),
       std::nullopt,
       {{u"VR-1"_s, u"1.00"_s, QString(), QString()}}},
      {std::nullopt, firmware(u"1300"_s, 1, https, https), {}},
  };
  for (const Case& c : cases) {
    UpdaterAvailablePageViewController page(*controller, c.device, c.firmwareInfo, nullptr);
    EXPECT_EQ(cells(page.outlets().tableView), c.rows);
    EXPECT_EQ(
        page.outlets().message1Label->text(),
        text("ID_MSG_NEW_VERSION_FIRM_AVAILABLE") + u'\n' + text("ID_MSG_CONFIRM_UPDATE_DETAILS"));
  }
}

TEST_F(PagesTest, UnusableAddressesDisableDetailsAndUpdate) {
  struct Case {
    const char* fileURL;
    const char* detailURL;
    bool update;
    bool details;
  };
  const Case cases[] = {
      {"https://example.com/f.zip", "https://example.com/notes.html", true, true},
      {"file:///opt/Tarnwell/../firmware.zip", "http://example.com/notes", true, true},
      {"", "", false, false},
      {"firmware.zip", "notes.html", false, false},
      {"https://exa mple.com/f.zip", "https://exa mple.com/n", false, false},
      // Release notes open in the browser: an address that would start a program is refused.
      {"https://example.com/f.zip", "file:///usr/bin/xterm", true, false},
      {"https://example.com/f.zip", "javascript:alert(1)", true, false},
      {"https://example.com/f.zip", "smb://server/share", true, false},
  };
  QList<QUrl> opened;
  UpdaterAvailablePageViewController::setUrlOpener([&](const QUrl& url) {
    opened << url;
    return true;
  });
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.fileURL) + " " + c.detailURL);
    UpdaterAvailablePageViewController page(
        *controller, recorder(u"VR"_s, u"1000"_s),
        firmware(u"1100"_s, 1, QString::fromUtf8(c.fileURL), QString::fromUtf8(c.detailURL)),
        nullptr);
    EXPECT_EQ(page.outlets().updateButton->isEnabled(), c.update);
    EXPECT_EQ(page.outlets().detailButton->isEnabled(), c.details);
    opened.clear();
    page.outlets().detailButton->click();
    EXPECT_EQ(opened.size(), c.details ? 1 : 0);
  }
  UpdaterAvailablePageViewController noOffer(*controller, std::nullopt, std::nullopt, nullptr);
  EXPECT_FALSE(noOffer.outlets().updateButton->isEnabled());
  EXPECT_FALSE(noOffer.outlets().detailButton->isEnabled());
  UpdaterAvailablePageViewController::setUrlOpener({});
}

TEST_F(PagesTest, UpdaterNoneShowsTheRecordersVersionAndNoOffer) {
  UpdaterNonePageViewController page(
      *controller, recorder(QString::fromUtf8("VR-5201\0", 8), u"1230"_s), nullptr);
  EXPECT_EQ(cells(page.outlets().tableView),
            (QList<QStringList>{{u"VR-5201"_s, u"1.23"_s, u"---"_s}}));
  UpdaterNonePageViewController empty(*controller, std::nullopt, nullptr);
  EXPECT_TRUE(cells(empty.outlets().tableView).isEmpty());
}

TEST_F(PagesTest, UpdatingNextFollowsTheBoxOnceTheRecorderIsNoLongerBusy) {
  controller->setExecutingUpdate(true);
  UpdatingPageViewController page(*controller, nullptr);
  Ui::UpdatingPageViewController& ui = page.outlets();
  EXPECT_FALSE(ui.nextButton->isEnabled());
  EXPECT_FALSE(ui.busyIndicator->isHidden());
  // Ticked while the follow-up step runs: the recorder is not done yet.
  ui.confirmCheckBox->click();
  EXPECT_FALSE(ui.nextButton->isEnabled());

  controller->setExecutingUpdate(false);
  page.refreshState();
  EXPECT_TRUE(ui.busyIndicator->isHidden());
  for (bool ticked : {true, false, true, false}) {
    EXPECT_EQ(ui.confirmCheckBox->isChecked(), ticked);
    EXPECT_EQ(ui.nextButton->isEnabled(), ticked);
    ui.confirmCheckBox->click();
  }

  // Return presses next only while next can be pressed.
  ui.confirmCheckBox->click();
  ASSERT_FALSE(ui.confirmCheckBox->isChecked());
  controller->setNeededConfirmToQuit(true);
  QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
  page.show();
  QCoreApplication::sendEvent(&page, &enter);
  EXPECT_TRUE(controller->isNeededConfirmToQuit());
  ui.confirmCheckBox->click();
  QCoreApplication::sendEvent(&page, &enter);
  EXPECT_FALSE(controller->isNeededConfirmToQuit());
}

TEST_F(PagesTest, OpeningSaysWhenTheFirmwareComesFromThisComputer) {
  OpeningPageViewController online(*controller, nullptr);
  EXPECT_TRUE(online.outlets().localModeLabel->isHidden());
  controller->setLocalUpdateInfo(LocalUpdateInfo{});
  OpeningPageViewController local(*controller, nullptr);
  EXPECT_FALSE(local.outlets().localModeLabel->isHidden());
  EXPECT_EQ(local.outlets().localModeLabel->text(), text("ID_MSG_LOCAL_MODE"));
}

TEST_F(PagesTest, LicenceIsReadOnlyAndStartsAtTheTop) {
  LicensePageViewController page(*controller, nullptr);
  page.resize(780, 500);
  page.show();
  QPlainTextEdit* view = page.outlets().licenseTextView;
  EXPECT_EQ(view->toPlainText(), text("ID_LICENCE_AGREEMENT_ALL"));
  EXPECT_TRUE(view->isReadOnly());
  EXPECT_FALSE(view->textInteractionFlags() & Qt::TextSelectableByMouse);
  EXPECT_EQ(view->verticalScrollBar()->value(), 0);
  EXPECT_GT(view->verticalScrollBar()->maximum(), 0);
}

TEST_F(PagesTest, EveryPageFitsTheSameWindowFrame) {
  MainWindowController window(*controller);
  window.show();
  window.showPage({WizardPage::opening, std::nullopt, std::nullopt});
  const QRect frame = window.geometry();
  const WizardPage pages[] = {WizardPage::updaterAvailable, WizardPage::updaterNone,
                              WizardPage::license,          WizardPage::updating,
                              WizardPage::completed,        WizardPage::opening};
  for (WizardPage kind : pages) {
    WizardPageViewController* previous = window.currentPage();
    window.showPage({kind, recorder(u"VR"_s, u"1000"_s), std::nullopt});
    EXPECT_NE(window.currentPage(), previous);
    EXPECT_EQ(window.currentRequest().page, kind);
    QCoreApplication::processEvents();
    EXPECT_EQ(window.geometry(), frame);
  }
}

}  // namespace
