#include "app/ui/MainWindowController.h"

#include "app/ui/AlertWindowController.h"
#include "app/ui/CMViewLocalizer.h"
#include "app/ui/CompletedPageViewController.h"
#include "app/ui/DeferredIcon.h"
#include "app/ui/DownloadProgressWindowController.h"
#include "app/ui/ImageResource.h"
#include "app/ui/LicensePageViewController.h"
#include "app/ui/OpeningPageViewController.h"
#include "app/ui/ProgressWindowController.h"
#include "app/ui/UpdaterAvailablePageViewController.h"
#include "app/ui/UpdaterNonePageViewController.h"
#include "app/ui/UpdatingPageViewController.h"
#include "app/ui/WindowCentering.h"
#include "app/update/FWUpdaterController.h"

#include "ui_MainWindowController.h"

#include <QCloseEvent>
#include <QLayout>
#include <QPushButton>

namespace {

// Fits the wizard's longest texts (German, Russian) with the illustration beside them.
constexpr QSize kPageSize(780, 500);

}  // namespace

MainWindowController::MainWindowController(FWUpdaterController& controller, QWidget* parent)
    : QMainWindow(parent),
      controller_(controller),
      ui_(std::make_unique<Ui::MainWindowController>()) {
  ui_->setupUi(this);
  CMViewLocalizer::localizeObjectsRelativeTo(this);
  setWindowIcon(deferredIcon([] { return ImageResource::icon(QStringLiteral("AppIcon")); }));
  centralWidget()->setFixedSize(kPageSize);
  layout()->setSizeConstraint(QLayout::SetFixedSize);
  WindowCentering::centerOnScreen(this);
}

MainWindowController::~MainWindowController() = default;

WizardPageViewController* MainWindowController::makePage(FWUpdaterController& controller,
                                                         const WizardPageRequest& request) {
  switch (request.page) {
    case WizardPage::opening:
      return new OpeningPageViewController(controller, nullptr);
    case WizardPage::updaterAvailable:
      return new UpdaterAvailablePageViewController(controller, request.device,
                                                    request.firmwareInfo, nullptr);
    case WizardPage::updaterNone:
      return new UpdaterNonePageViewController(controller, request.device, nullptr);
    case WizardPage::license:
      return new LicensePageViewController(controller, nullptr);
    case WizardPage::updating:
      return new UpdatingPageViewController(controller, nullptr);
    case WizardPage::completed:
      return new CompletedPageViewController(controller, nullptr);
  }
  return nullptr;
}

void MainWindowController::showPage(const WizardPageRequest& request) {
  const QRect frame = geometry();
  WizardPageViewController* page = makePage(controller_, request);
  if (page == nullptr) {
    return;
  }
  // The page being replaced may be the one whose button led here: it goes once its
  // handler has returned.
  if (QWidget* previous = takeCentralWidget()) {
    previous->hide();
    previous->deleteLater();
  }
  page->setFixedSize(kPageSize);
  setCentralWidget(page);
  currentPage_ = page;
  currentRequest_ = request;
  setGeometry(frame);
  // Keyboard users start on the page's default button.
  const QList<QPushButton*> buttons = page->findChildren<QPushButton*>();
  for (QPushButton* button : buttons) {
    if (button->isDefault() && button->isEnabled()) {
      button->setFocus();
    }
  }
}

std::optional<int> MainWindowController::runAlert(const AlertRequest& alert) {
  return AlertWindowController::run(alert, isVisible() ? this : nullptr);
}

std::unique_ptr<DownloadProgressView> MainWindowController::showDownloadProgress(
    std::function<void()> cancel) {
  auto window = std::make_unique<DownloadProgressWindowController>(std::move(cancel));
  window->show();
  return window;
}

std::unique_ptr<ProgressView> MainWindowController::showProgress(bool taller) {
  auto window = std::make_unique<ProgressWindowController>(taller);
  window->show();
  return window;
}

void MainWindowController::hideMainWindow() { hide(); }

void MainWindowController::showMainWindow() {
  if (isMinimized()) {
    showNormal();
  }
  show();
  raise();
  activateWindow();
}

void MainWindowController::terminate() { Q_EMIT terminationRequested(); }

void MainWindowController::executingUpdateChanged() {
  if (auto* updating = qobject_cast<UpdatingPageViewController*>(currentPage_)) {
    updating->refreshState();
  }
}

void MainWindowController::closeEvent(QCloseEvent* event) {
  if (!controller_.shouldClose()) {
    event->ignore();
    return;
  }
  event->accept();
  Q_EMIT terminationRequested();
}
