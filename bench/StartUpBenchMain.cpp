// The wizard's start-up as `tarnwell` does it on the desktop (the same steps as
// app/ui/main.cpp: launch options, settings, string table, roles, AppDelegate), ending as
// soon as the first page has been painted. It must sit in a bundle's bin/ folder to find the
// string table and images; bench/run-all places a copy there. The shipped application
// carries no measuring hook.
#include "app/core/LaunchOptions.h"
#include "app/core/StartUp.h"
#include "app/sim/LaunchRoles.h"
#include "app/ui/AppDelegate.h"
#include "app/ui/MainWindowController.h"
#include "app/ui/WizardPageViewController.h"
#include "app/update/FWUpdaterController.h"
#include "app/update/TransferFWInteractor.h"
#include "bench/FirstPaint.h"
#include "platform/Bundle.h"

#include <QApplication>

#include <cstdio>

int main(int argc, char* argv[]) {
  if (!qEnvironmentVariableIsSet("QT_NO_THREADED_GLIB")) {
    qputenv("QT_NO_THREADED_GLIB", "1");
  }
  const QApplication app(argc, argv);
  const LaunchOptions options = StartUp::prepare(QCoreApplication::arguments(), Bundle::main());
  auto installed = LaunchRoles::install(options);
  if (const auto* error = std::get_if<QString>(&installed)) {
    std::fprintf(stderr, "bench_startup: %s\n", qUtf8Printable(*error));
    return 1;
  }
  const auto roles = std::get<std::unique_ptr<LaunchRoles>>(std::move(installed));
  FWUpdaterController& controller = FWUpdaterController::shared();
  LaunchRoles::Simulated simulated = roles->simulated();
  controller.replaceRoles(std::move(simulated.environment), std::move(simulated.deviceDetector),
                          std::move(simulated.deviceInterface), std::move(simulated.updaterInfo),
                          std::move(simulated.downloadManager));

  QApplication::setQuitOnLastWindowClosed(false);
  AppDelegate delegate(controller);
  delegate.applicationDidFinishLaunching();
  WizardPageViewController* const page = delegate.mainWindowController() != nullptr
                                             ? delegate.mainWindowController()->currentPage()
                                             : nullptr;
  if (page == nullptr) {
    std::fprintf(stderr, "bench_startup: no first page\n");
    return 1;
  }
  FirstPaint watch(*page);
  const int status = QApplication::exec();
  controller.transferFWInteractor.reset();
  controller.downloadFWInteractor.reset();
  controller.targetDevice.reset();
  return status;
}
