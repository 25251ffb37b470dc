#include "app/localize/CMLocalize.h"
#include "app/ui/AlertWindowController.h"
#include "app/ui/AppDelegate.h"
#include "app/ui/DeferredIcon.h"
#include "app/ui/DownloadProgressWindowController.h"
#include "app/ui/MainWindowController.h"
#include "app/ui/ProgressWindowController.h"
#include "tests/support/QStringPrinter.h"
#include "tests/ui/UiTestEnvironment.h"

#include "ui_AlertWindowController.h"
#include "ui_DownloadProgressWindowController.h"
#include "ui_MainWindowController.h"
#include "ui_ProgressWindowController.h"

#include <QKeyEvent>
#include <QStyleFactory>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cmath>

using namespace Qt::StringLiterals;

using UiTest::text;

namespace {

// "%s" of the table's format replaced by `value`.
QString formatted(const char* messageId, const QString& value) {
  return CMLocalize::formatWithStrings(
      CMLocalize::shared()->getLocalizedStringWithReplaceEscape(QString::fromLatin1(messageId)),
      {value});
}

class WindowsTest : public ::testing::Test {
 protected:
  void TearDown() override { AlertWindowController::setModalAnswerHook({}); }

  std::unique_ptr<FWUpdaterController> controller = UiTest::idleController();
};

// The texts' formats are DownloadProgressText's; here, that each lands in its label.
TEST_F(WindowsTest, DownloadWindowShowsPercentAndTimes) {
  DownloadProgressWindowController window([] {});
  Ui::DownloadProgressWindowController& ui = window.outlets();
  EXPECT_EQ(ui.remainTimeLabel->text(), formatted("ID_REMAINING_TIME", QString()));
  window.setPastTimeInterval(3725.9);
  EXPECT_EQ(ui.pastTimeLabel->text(), text("ID_ELAPSE_TIME") + u": 01:02:05"_s);
  window.setRemainTimeInterval(61);
  EXPECT_EQ(ui.remainTimeLabel->text(),
            formatted("ID_REMAINING_TIME", u"1 "_s + text("ID_UNIT_MIN")));
  window.setProgressValue(42);
  EXPECT_EQ(ui.percentLabel->text(), u"42%"_s);
  EXPECT_EQ(ui.progressIndicator->value(), 42);
}

TEST_F(WindowsTest, DownloadIsCancelledOnceByButtonEscapeOrClosing) {
  int cancelled = 0;
  DownloadProgressWindowController window([&] { ++cancelled; });
  window.show();
  window.outlets().cancelButton->click();
  window.outlets().cancelButton->click();
  EXPECT_EQ(cancelled, 1);

  DownloadProgressWindowController closed([&] { ++cancelled; });
  closed.show();
  QWidget& asWidget = closed;
  asWidget.close();
  EXPECT_EQ(cancelled, 2);
  // The window stays until the download has ended.
  EXPECT_TRUE(closed.isVisible());
  closed.close();
  EXPECT_FALSE(closed.isVisible());

  // Past the last byte there is nothing left to cancel.
  DownloadProgressWindowController finished([&] { ++cancelled; });
  finished.show();
  finished.setCancelEnabled(false);
  QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
  QCoreApplication::sendEvent(&finished, &escape);
  EXPECT_EQ(cancelled, 2);
}

TEST_F(WindowsTest, AlertButtonsGiveOneAndZeroAndCancelCanBeHidden) {
  struct Case {
    std::optional<QString> cancelTitle;
    const char* press;  // "ok", "cancel" or "escape"
    int code;
  };
  const Case cases[] = {
      {text("ID_NO"), "ok", 1},
      {text("ID_NO"), "cancel", 0},
      {text("ID_NO"), "escape", 0},
      {std::nullopt, "ok", 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.press);
    bool cancelShown = false;
    QString message;
    QString okTitle;
    AlertWindowController::setModalAnswerHook([&](AlertWindowController& window) {
      Ui::AlertWindowController& ui = window.outlets();
      cancelShown = !ui.cancelButton->isHidden();
      message = ui.messageLabel->text();
      okTitle = ui.okButton->text();
      window.setResult(-1);
      if (std::strcmp(c.press, "ok") == 0) {
        ui.okButton->click();
      } else if (std::strcmp(c.press, "cancel") == 0) {
        ui.cancelButton->click();
      } else {
        window.show();
        QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
        QCoreApplication::sendEvent(&window, &escape);
      }
      return window.result();
    });
    const std::optional<int> code = AlertWindowController::run(
        {u"Message"_s, text("ID_YES"), c.cancelTitle, std::nullopt}, nullptr);
    EXPECT_EQ(code, c.code);
    EXPECT_EQ(cancelShown, c.cancelTitle.has_value());
    EXPECT_EQ(message, u"Message"_s);
    EXPECT_EQ(okTitle, text("ID_YES"));
  }
}

TEST_F(WindowsTest, ProgressWindowIsClosedByItsPhaseOnly) {
  ProgressWindowController window(false);
  window.show();
  window.setIndeterminate(true);
  EXPECT_EQ(window.outlets().progressIndicator->maximum(), 0);
  window.setIndeterminate(false);
  for (const auto& [percent, shown] :
       {std::pair{42.4, 42}, {100.0, 100}, {250.0, 100}, {-3.0, 0}, {std::nan(""), 0}}) {
    window.setValue(percent);
    EXPECT_EQ(window.outlets().progressIndicator->value(), shown) << percent;
  }
  QWidget& asWidget = window;
  asWidget.close();
  QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
  QCoreApplication::sendEvent(&window, &escape);
  EXPECT_TRUE(window.isShown());
  window.close();
  EXPECT_FALSE(window.isShown());
  EXPECT_FALSE(window.isVisible());
}

TEST_F(WindowsTest, ClosingTheMainWindowFollowsTheControllersAnswer) {
  MainWindowController window(*controller);
  controller->setMainWindowController(&window);
  int terminations = 0;
  QObject::connect(&window, &MainWindowController::terminationRequested, [&] { ++terminations; });
  QStringList asked;
  std::optional<int> answer;
  AlertWindowController::setModalAnswerHook([&](AlertWindowController& alert) {
    asked << alert.outlets().messageLabel->text();
    return *answer;
  });
  window.show();
  window.showPage({WizardPage::updating, std::nullopt, std::nullopt});
  controller->setNeededConfirmToQuit(true);

  // When to ask is the controller's rule (QuitDuringUpdateTest, TextRunRows); the window
  // follows its answer.
  answer = 0;
  EXPECT_FALSE(window.close());
  EXPECT_EQ(asked, QStringList{text("ID_MSG_QUIT_APP")});
  EXPECT_EQ(terminations, 0);

  answer = 1;
  EXPECT_TRUE(window.close());
  EXPECT_EQ(terminations, 1);
  controller->setMainWindowController(nullptr);
}

TEST_F(WindowsTest, StartUpLocalisesTheMenuAndShowsTheOpeningPage) {
  AppDelegate delegate(*controller);
  delegate.applicationDidFinishLaunching();
  MainWindowController* window = delegate.mainWindowController();
  ASSERT_NE(window, nullptr);
  EXPECT_EQ(controller->mainWindowController(), window);
  EXPECT_TRUE(window->isVisible());
  EXPECT_EQ(window->currentRequest().page, WizardPage::opening);

  const QString name = text("ID_APP_NAME");
  EXPECT_EQ(delegate.aboutAppMenuItem->text(), formatted("ID_MAC_ABOUT_APP", name));
  EXPECT_EQ(delegate.hideAppMenuItem->text(), formatted("ID_MAC_HIDE_APP", name));
  EXPECT_EQ(delegate.terminateAppMenuItem->text(), formatted("ID_MAC_QUIT_APP", name));
  EXPECT_TRUE(delegate.aboutAppMenuItem->isVisible());
  EXPECT_FALSE(delegate.servicesMenuItem->isVisible());
  EXPECT_FALSE(delegate.hideOthersMenuItem->isVisible());
  EXPECT_FALSE(delegate.showAllMenuItem->isVisible());
  EXPECT_EQ(window->outlets().appMenu->title(), name);
  EXPECT_EQ(window->windowTitle(), name);
}

// A deferred standard icon draws what the style itself would.
TEST_F(WindowsTest, DeferredIconStyleDrawsTheBaseStylesIcons) {
  const DeferredIconStyle deferred(QStyleFactory::create(u"fusion"_s));
  const QStyle& style = deferred;
  for (const auto icon :
       {QStyle::SP_ToolBarHorizontalExtensionButton, QStyle::SP_MessageBoxWarning}) {
    const QImage drawn = style.standardIcon(icon).pixmap(16, 16).toImage();
    EXPECT_FALSE(drawn.isNull());
    EXPECT_EQ(drawn, deferred.baseStyle()->standardIcon(icon).pixmap(16, 16).toImage());
  }
}

// A second start brings the running wizard forward through its socket and leaves; without a
// running wizard to answer, it leaves all the same.
TEST_F(WindowsTest, ASecondInstanceBringsTheFirstForwardAndLeaves) {
  const QTemporaryDir runtime;
  const QString path = runtime.filePath(u"tarnwell.instance"_s);
  const auto startSecond = [&path] {
    const std::unique_ptr<FWUpdaterController> other = UiTest::idleController();
    other->replaceRoles(std::make_shared<RunningEnvironmentMock>(2), nullptr, nullptr, std::nullopt,
                        nullptr);
    AppDelegate second(*other, path);
    bool terminating = false;
    QObject::connect(&second, &AppDelegate::terminating, [&] { terminating = true; });
    second.applicationDidFinishLaunching();
    EXPECT_TRUE(UiTest::pumpUntil([&] { return terminating; }));
    EXPECT_FALSE(second.mainWindowController()->isVisible());
    EXPECT_EQ(second.mainWindowController()->currentPage(), nullptr);
  };
  startSecond();

  AppDelegate first(*controller, path);
  first.applicationDidFinishLaunching();
  MainWindowController& window = *first.mainWindowController();
  window.showMinimized();
  ASSERT_TRUE(window.isMinimized());
  startSecond();
  EXPECT_FALSE(window.isMinimized());
  EXPECT_TRUE(window.isVisible());
}

}  // namespace
