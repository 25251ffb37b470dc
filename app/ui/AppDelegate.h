#pragma once

#include <QObject>
#include <QString>

#include <memory>

class FWUpdaterController;
class InstanceChannel;
class MainWindowController;
class QAction;

// The desktop application's start and end: creates the main window, loads the local
// firmware description, localises the application menu, shows the Opening page unless
// another instance already runs (whose windows it then brings forward), and asks before
// quitting while an update waits.
class AppDelegate final : public QObject {
  Q_OBJECT

 public:
  explicit AppDelegate(FWUpdaterController& controller, QObject* parent = nullptr);
  // Later starts reach this one through the socket at `channelPath`.
  AppDelegate(FWUpdaterController& controller, QString channelPath, QObject* parent = nullptr);
  ~AppDelegate() override;

  // The launch after the launch options, the settings and the string table.
  void applicationDidFinishLaunching();
  // True to end now; asks first while the Updating page waits for the user.
  bool applicationShouldTerminate();
  // Ends the application when applicationShouldTerminate agrees.
  void terminate();
  void showVersionWindow();
  // Brings the application's windows forward, as a later start asks.
  void bringToFront();

  MainWindowController* mainWindowController() const { return mainWindowController_.get(); }

  // The application menu's items, from the main window's layout.
  QAction* aboutAppMenuItem = nullptr;
  QAction* servicesMenuItem = nullptr;
  QAction* hideAppMenuItem = nullptr;
  QAction* hideOthersMenuItem = nullptr;
  QAction* showAllMenuItem = nullptr;
  QAction* terminateAppMenuItem = nullptr;

 Q_SIGNALS:
  // The application is about to end (the main loop is asked to quit).
  void terminating();

 private:
  void localizeApplicationMenu(const QString& appName);

  // How long a later start waits for the running one to answer.
  static constexpr int kRaiseTimeoutMs = 2000;

  FWUpdaterController& controller_;
  QString channelPath_;
  InstanceChannel* channel_ = nullptr;
  std::unique_ptr<MainWindowController> mainWindowController_;
};
