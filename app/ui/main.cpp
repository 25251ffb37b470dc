#include "app/core/LaunchOptions.h"
#include "app/core/StartUp.h"
#include "app/firmware/LocalUpdateInfo.h"
#include "app/sim/LaunchRoles.h"
#include "app/text/TextConsole.h"
#include "app/text/TextUserInterface.h"
#include "app/text/TextWizard.h"
#include "app/ui/AppDelegate.h"
#include "app/ui/DeferredIcon.h"
#include "app/update/FWUpdaterController.h"
#include "app/update/TransferFWInteractor.h"
#include "platform/Bundle.h"
#include "platform/TerminationSignals.h"

#include <QApplication>
#include <QCoreApplication>
#include <QFontDatabase>
#include <QStyleFactory>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <thread>

namespace {

struct Arguments {
  bool text = false;
  bool answerYes = false;
  QString unknown;  // the first argument that is neither ours nor a launch option
};

// Anything that begins as a launch option counts as one: an option the application cannot use
// (one without its value, say) is ignored, as on the desktop, rather than unknown.
Arguments readArguments(const QStringList& arguments) {
  Arguments result;
  for (const QString& argument : arguments.mid(1)) {
    if (argument == QStringLiteral("--text")) {
      result.text = true;
    } else if (argument == QStringLiteral("--yes")) {
      result.answerYes = true;
    } else if (result.unknown.isEmpty() && !LaunchOptions::isLaunchOption(argument)) {
      result.unknown = argument;
    }
  }
  return result;
}

// SIGINT, SIGTERM and SIGHUP: during the update as the controller decides, otherwise the
// end of the process. Watched from here on, for the process's life.
void watchTerminationSignals(FWUpdaterController& controller, bool canAsk) {
  auto* watcher = new TerminationSignals(QCoreApplication::instance());
  QObject::connect(watcher, &TerminationSignals::received, watcher,
                   [&controller, canAsk](int signal) {
                     if (!controller.handleTerminationSignal(canAsk)) {
                       TerminationSignals::endBy(signal);
                     }
                   });
}

int runText(const Arguments& arguments) {
  FWUpdaterController& controller = FWUpdaterController::shared();
  controller.setLocalUpdateInfo(loadLocalUpdateInfo());
  // Another instance already leads the user; a script must not read this as an update.
  if (controller.environment()->instanceCount() >= 2) {
    std::fputs("tarnwell: Tarnwell is already running; finish or close it first\n", stderr);
    return TextWizard::kAlreadyRunning;
  }
  TextConsole console(stdin, stdout);
  TextUserInterface ui(console, arguments.answerYes);
  // Questions need someone at the terminal; --yes answers only what the pages ask.
  watchTerminationSignals(controller, console.isInputTerminal() && !arguments.answerYes);
  // A signal during a read of the terminal is handled there and then, and the read gives up
  // once the update has been interrupted.
  console.setInterruption(TerminationSignals::pendingFd(), [&controller] {
    QCoreApplication::processEvents();
    return controller.isInterrupted();
  });
  const int status = TextWizard(controller, ui, console, arguments.answerYes).run();
  if (console.inputEnded() && status != TextWizard::kCompleted) {
    std::fputs("tarnwell: the input ended before the run did\n", stderr);
  }
  controller.setMainWindowController(nullptr);
  // The recorder record holds registry objects of the virtual recorders; let it go first.
  controller.releaseRecorder();
  return status;
}

int runDesktop() {
  // Windows come and go while the main window is hidden (download, transfer): only the
  // delegate ends the application.
  QApplication::setQuitOnLastWindowClosed(false);
  // Lets the desktop match the window with tarnwell.desktop (its icon and name in the dock).
  QGuiApplication::setDesktopFileName(QStringLiteral("tarnwell"));
  // A fresh copy of the style Qt chose, which the proxy owns; the application owns the proxy
  // and deletes the style it had. (The analyzer does not see that ownership.)
  // NOLINTBEGIN(clang-analyzer-cplusplus.NewDeleteLeaks)
  QApplication::setStyle(
      new DeferredIconStyle(QStyleFactory::create(QApplication::style()->name())));
  FWUpdaterController& controller = FWUpdaterController::shared();
  // NOLINTEND(clang-analyzer-cplusplus.NewDeleteLeaks)
  AppDelegate delegate(controller);
  watchTerminationSignals(controller, true);
  delegate.applicationDidFinishLaunching();
  const int status = QApplication::exec();
  // The recorder record holds registry objects of the virtual recorders; let it go first.
  controller.releaseRecorder();
  return controller.isInterrupted() ? TextWizard::kInterrupted : status;
}

bool hasArgument(int argc, char* argv[], const char* wanted) {
  return std::any_of(argv + 1, argv + argc,
                     [wanted](const char* argument) { return std::strcmp(argument, wanted) == 0; });
}

// Whether the desktop wizard has somewhere to open its window; without, Qt would abort. A
// platform chosen explicitly (offscreen, for example) counts.
bool hasDisplay(int argc, char* argv[]) {
  return !qEnvironmentVariableIsEmpty("DISPLAY") ||
         !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") ||
         !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") || hasArgument(argc, argv, "-platform");
}

void printHelp() {
  std::fputs(
      "usage: tarnwell [LAUNCH-OPTION]...\n"
      "       tarnwell --text [--yes] [LAUNCH-OPTION]...\n"
      "       tarnwell --version\n"
      "Updates the firmware of the one connected recorder: in a window on the desktop, or\n"
      "with --text in the terminal, where --yes answers every question by itself.\n"
      "Launch options put simulated parts in place of real ones:\n"
      "  --virtual_recorder=FOLDER  --instance_count=N  --mock_devices=FILE\n"
      "  --mock_response=FILE  --mock_device_fail  --mock_device_diskfull  --mock_nonetwork\n"
      "See tarnwell(1).\n",
      stdout);
}

}  // namespace

// The desktop wizard, or with "--text" the same wizard in the terminal.
int main(int argc, char* argv[]) {
  // Needs no display.
  if (hasArgument(argc, argv, "--help") || hasArgument(argc, argv, "-h")) {
    printHelp();
    return 0;
  }
  if (hasArgument(argc, argv, "--version")) {
    std::fputs("tarnwell " TARNWELL_VERSION "\n", stdout);
    return 0;
  }
  if (!hasArgument(argc, argv, "--text") && !hasDisplay(argc, argv)) {
    std::fputs(
        "tarnwell: the wizard's window needs a desktop session (neither DISPLAY nor "
        "WAYLAND_DISPLAY is set); tarnwell --text runs it in this terminal\n",
        stderr);
    return TextWizard::kUsage;
  }
  StartUp::tuneProcess();
  // The terminal needs no display; the desktop wizard needs a QApplication.
  const std::unique_ptr<QCoreApplication> app = hasArgument(argc, argv, "--text")
                                                    ? std::make_unique<QCoreApplication>(argc, argv)
                                                    : std::make_unique<QApplication>(argc, argv);
  // The desktop's first page measures text, which needs Qt's font database: fontconfig reading
  // its whole configuration, a third of the start-up's work. A second thread fills it while
  // this one sets up the roles and builds the window; Qt guards the database with a lock, so
  // whichever thread comes second waits for the first. Joined when main returns.
  std::jthread fontDatabaseFiller;
  if (!hasArgument(argc, argv, "--text")) {
    fontDatabaseFiller = std::jthread([] { static_cast<void>(QFontDatabase::families()); });
  }
  const Arguments arguments = readArguments(QCoreApplication::arguments());
  if (arguments.text && !arguments.unknown.isEmpty()) {
    std::fprintf(stderr,
                 "tarnwell: unknown argument \"%s\"; usage: tarnwell --text [--yes] "
                 "[--virtual_recorder=FOLDER]...\n",
                 qUtf8Printable(arguments.unknown));
    return TextWizard::kUsage;
  }
  const LaunchOptions options = StartUp::prepare(QCoreApplication::arguments(), Bundle::main());
  auto installed = LaunchRoles::install(options);
  if (const auto* error = std::get_if<QString>(&installed)) {
    std::fprintf(stderr, "tarnwell: %s\n", qUtf8Printable(*error));
    return 1;
  }
  const auto roles = std::get<std::unique_ptr<LaunchRoles>>(std::move(installed));
  LaunchRoles::Simulated simulated = roles->simulated();
  FWUpdaterController::shared().replaceRoles(
      std::move(simulated.environment), std::move(simulated.deviceDetector),
      std::move(simulated.deviceInterface), std::move(simulated.updaterInfo),
      std::move(simulated.downloadManager));
  return arguments.text ? runText(arguments) : runDesktop();
}
