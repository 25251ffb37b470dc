#include "app/ui/AppDelegate.h"

#include "app/firmware/LocalUpdateInfo.h"
#include "app/localize/CMLocalize.h"
#include "app/ui/CMViewLocalizer.h"
#include "app/ui/InstanceChannel.h"
#include "app/ui/MainWindowController.h"
#include "app/ui/VersionWindowController.h"
#include "app/update/FWUpdaterController.h"

#include "ui_MainWindowController.h"

#include <QApplication>

namespace {

// The table's format with "%s" for the application's name.
QString formattedWithName(const char* messageId, const QString& appName) {
  const auto table = CMLocalize::shared();
  if (table == nullptr) {
    return {};
  }
  return CMLocalize::formatWithStrings(
      table->getLocalizedStringWithReplaceEscape(QString::fromLatin1(messageId)), {appName});
}

}  // namespace

AppDelegate::AppDelegate(FWUpdaterController& controller, QObject* parent)
    : AppDelegate(controller, InstanceChannel::defaultPath(), parent) {}

AppDelegate::AppDelegate(FWUpdaterController& controller, QString channelPath, QObject* parent)
    : QObject(parent), controller_(controller), channelPath_(std::move(channelPath)) {}

AppDelegate::~AppDelegate() {
  if (controller_.mainWindowController() == mainWindowController_.get()) {
    controller_.setMainWindowController(nullptr);
  }
}

void AppDelegate::applicationDidFinishLaunching() {
  if (controller_.mainWindowController() == mainWindowController_.get()) {
    controller_.setMainWindowController(nullptr);
  }
  mainWindowController_ = std::make_unique<MainWindowController>(controller_);
  controller_.setMainWindowController(mainWindowController_.get());
  connect(mainWindowController_.get(), &MainWindowController::terminationRequested, this,
          &AppDelegate::terminate, Qt::QueuedConnection);

  if (std::optional<LocalUpdateInfo> local = loadLocalUpdateInfo()) {
    controller_.setLocalUpdateInfo(std::move(local));
  }

  Ui::MainWindowController& menu = mainWindowController_->outlets();
  aboutAppMenuItem = menu.aboutAppMenuItem;
  servicesMenuItem = menu.servicesMenuItem;
  hideAppMenuItem = menu.hideAppMenuItem;
  hideOthersMenuItem = menu.hideOthersMenuItem;
  showAllMenuItem = menu.showAllMenuItem;
  terminateAppMenuItem = menu.terminateAppMenuItem;
  localizeApplicationMenu(CMLocalize::localizedString(QStringLiteral("ID_APP_NAME")));
  connect(aboutAppMenuItem, &QAction::triggered, this, &AppDelegate::showVersionWindow);
  connect(hideAppMenuItem, &QAction::triggered, mainWindowController_.get(),
          &QWidget::showMinimized);
  connect(terminateAppMenuItem, &QAction::triggered, this, &AppDelegate::terminate);

  delete channel_;
  channel_ = new InstanceChannel(channelPath_, this);
  if (controller_.environment()->instanceCount() < 2) {
    channel_->listen([this] { bringToFront(); });
    controller_.showPage({WizardPage::opening, std::nullopt, std::nullopt});
    mainWindowController_->showMainWindow();
  } else {
    // Another instance already leads the user: its windows come forward, and this one
    // leaves without a word (also when the other cannot be reached).
    // Queued: the answer may come before the main loop runs, where quitting does nothing.
    connect(
        channel_, &InstanceChannel::asked, this,
        [this] {
          Q_EMIT terminating();
          QCoreApplication::quit();
        },
        Qt::QueuedConnection);
    channel_->askToRaise(kRaiseTimeoutMs);
  }
}

void AppDelegate::bringToFront() {
  // While the main window is hidden (download, transfer), the window in use is another one.
  QWidget* front = nullptr;
  for (QWidget* window : QApplication::topLevelWidgets()) {
    if (!window->isVisible()) {
      continue;
    }
    if (window->isMinimized()) {
      window->showNormal();
    }
    window->raise();
    front = window;
  }
  if (QApplication::activeModalWidget() != nullptr) {
    front = QApplication::activeModalWidget();
  }
  if (front != nullptr) {
    front->activateWindow();
  }
}

void AppDelegate::localizeApplicationMenu(const QString& appName) {
  CMViewLocalizer::localizeMenuObjects(mainWindowController_->outlets().menuBar);
  aboutAppMenuItem->setText(formattedWithName("ID_MAC_ABOUT_APP", appName));
  servicesMenuItem->setText(CMLocalize::localizedString(QStringLiteral("ID_MAC_SERVICES")));
  hideAppMenuItem->setText(formattedWithName("ID_MAC_HIDE_APP", appName));
  hideOthersMenuItem->setText(CMLocalize::localizedString(QStringLiteral("ID_MAC_HIDE_OTHERS")));
  showAllMenuItem->setText(CMLocalize::localizedString(QStringLiteral("ID_MAC_SHOW_ALL")));
  terminateAppMenuItem->setText(formattedWithName("ID_MAC_QUIT_APP", appName));
  // The desktop has no services menu and no other applications to hide or show.
  servicesMenuItem->setVisible(false);
  hideOthersMenuItem->setVisible(false);
  showAllMenuItem->setVisible(false);
}

bool AppDelegate::applicationShouldTerminate() { return controller_.shouldClose(); }

void AppDelegate::terminate() {
  if (!applicationShouldTerminate()) {
    return;
  }
  Q_EMIT terminating();
  QCoreApplication::quit();
}

void AppDelegate::showVersionWindow() {
  VersionWindowController::showVersionWindow(mainWindowController_.get());
}
