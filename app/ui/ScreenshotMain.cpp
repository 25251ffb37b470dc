// Renders every page and window of the wizard to PNG files in the user's language, and
// names any text that does not fit its control. Run by scripts/screenshots.

#include "app/core/StartUp.h"
#include "app/device/AudioDeviceError.h"
#include "app/localize/CMLocalize.h"
#include "app/ui/AlertWindowController.h"
#include "app/ui/AppDelegate.h"
#include "app/ui/DownloadProgressWindowController.h"
#include "app/ui/MainWindowController.h"
#include "app/ui/ProgressWindowController.h"
#include "app/ui/UpdatingPageViewController.h"
#include "app/ui/VersionWindowController.h"
#include "app/update/FWUpdaterController.h"
#include "platform/Bundle.h"

#include "ui_MainWindowController.h"
#include "ui_UpdatingPageViewController.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QMenu>

#include <cstdio>

namespace {

QString text(const char* messageId) {
  return CMLocalize::localizedString(QString::fromLatin1(messageId));
}

// Texts cut off by their control: a wrapped label taller than its room, a one-line label or
// a button narrower than its text.
QStringList clippedTexts(QWidget* root) {
  QStringList clipped;
  const QList<QLabel*> labels = root->findChildren<QLabel*>();
  for (const QLabel* label : labels) {
    if (!label->isVisibleTo(root) || label->text().isEmpty()) {
      continue;
    }
    const QRect room = label->contentsRect();
    const bool fits = label->wordWrap() ? label->heightForWidth(room.width()) <= room.height() ||
                                              label->heightForWidth(room.width()) < 0
                                        : label->sizeHint().width() <= label->width();
    if (!fits) {
      clipped.append(label->objectName());
    }
  }
  const QList<QAbstractButton*> buttons = root->findChildren<QAbstractButton*>();
  for (const QAbstractButton* button : buttons) {
    if (button->isVisibleTo(root) && button->sizeHint().width() > button->width()) {
      clipped.append(button->objectName());
    }
  }
  return clipped;
}

class Shooter final {
 public:
  explicit Shooter(QString folder) : folder_(std::move(folder)) {}

  void shoot(QWidget* window, const QString& name) {
    window->show();
    QApplication::processEvents();
    window->grab().save(QDir(folder_).filePath(name + QStringLiteral(".png")));
    const QStringList clipped = clippedTexts(window);
    if (!clipped.isEmpty()) {
      std::fprintf(stderr, "%s: clipped: %s\n", qUtf8Printable(name),
                   qUtf8Printable(clipped.join(QStringLiteral(", "))));
      ++failures_;
    }
  }
  void save(const QPixmap& image, const QString& name) const {
    image.save(QDir(folder_).filePath(name + QStringLiteral(".png")));
  }
  int failures() const { return failures_; }

 private:
  QString folder_;
  int failures_ = 0;
};

AudioDevice sampleRecorder() {
  AudioDevice device(0x0547, 0x2201);
  device.deviceName = QStringLiteral("VR-5201");
  device.version = QStringLiteral("1230");
  return device;
}

FirmwareInfo sampleFirmware() {
  FirmwareInfo firmware;
  firmware.version = QStringLiteral("1300");
  firmware.fileSize = 1572864;
  firmware.fileURL = QStringLiteral("https://updates.example.com/vr5201/firmware.zip");
  firmware.detailURL = QStringLiteral("https://updates.example.com/vr5201/notes.html");
  return firmware;
}

void shootPages(FWUpdaterController& controller, Shooter& shooter) {
  AppDelegate delegate(controller);
  delegate.applicationDidFinishLaunching();
  MainWindowController& window = *delegate.mainWindowController();
  const std::vector<std::pair<WizardPageRequest, QString>> pages{
      {{WizardPage::opening, std::nullopt, std::nullopt}, QStringLiteral("page-opening")},
      {{WizardPage::updaterAvailable, sampleRecorder(), sampleFirmware()},
       QStringLiteral("page-updater-available")},
      {{WizardPage::updaterNone, sampleRecorder(), std::nullopt},
       QStringLiteral("page-updater-none")},
      {{WizardPage::license, std::nullopt, std::nullopt}, QStringLiteral("page-license")},
      {{WizardPage::completed, std::nullopt, std::nullopt}, QStringLiteral("page-completed")}};
  for (const auto& [request, name] : pages) {
    window.showPage(request);
    shooter.shoot(&window, name);
  }
  controller.setLocalUpdateInfo(LocalUpdateInfo{});
  window.showPage({WizardPage::opening, std::nullopt, std::nullopt});
  shooter.shoot(&window, QStringLiteral("page-opening-local"));
  controller.setLocalUpdateInfo(std::nullopt);

  controller.setExecutingUpdate(true);
  window.showPage({WizardPage::updating, std::nullopt, std::nullopt});
  shooter.shoot(&window, QStringLiteral("page-updating-busy"));
  controller.setExecutingUpdate(false);
  auto* updating = qobject_cast<UpdatingPageViewController*>(window.currentPage());
  updating->outlets().confirmCheckBox->setChecked(true);
  updating->refreshState();
  shooter.shoot(&window, QStringLiteral("page-updating-confirmed"));

  QMenu* menu = window.outlets().appMenu;
  menu->adjustSize();
  shooter.save(menu->grab(), QStringLiteral("menu-application"));
}

void shootWindows(Shooter& shooter) {
  AlertWindowController question;
  question.fill({text("ID_MSG_CONFIRM_UPDATE_CAMERA"), text("ID_YES"), text("ID_NO"),
                 QStringLiteral("exc_mark_icn")});
  shooter.shoot(&question, QStringLiteral("alert-confirm-update"));
  AlertWindowController failure;
  failure.fill(
      {text("ID_BLOCKED_BY_SECURITY_POLICY_MAC"), text("ID_OK"), std::nullopt, std::nullopt});
  shooter.shoot(&failure, QStringLiteral("alert-security-policy"));
  AlertWindowController noRule;
  noRule.fill({FWUpdaterController::communicationErrorText(AudioDeviceErrorCode::kStepFailed,
                                                           text("ID_ERR_DEVICE_RULE_MISSING")),
               text("ID_OK"), std::nullopt, std::nullopt});
  shooter.shoot(&noRule, QStringLiteral("alert-device-rule-missing"));

  ProgressWindowController check(false);
  check.setMessage(text("ID_DETECT_RECORDER"));
  check.setIndeterminate(true);
  shooter.shoot(&check, QStringLiteral("progress-check"));
  check.close();
  ProgressWindowController transfer(true);
  transfer.setMessage(text("ID_MSG_TRANSFER_FIRMWARE"));
  transfer.setValue(42);
  shooter.shoot(&transfer, QStringLiteral("progress-transfer"));
  transfer.close();
  ProgressWindowController quitting(false);
  quitting.setMessage(text("ID_MSG_QUIT_AFTER_RECORDER"));
  quitting.setIndeterminate(true);
  shooter.shoot(&quitting, QStringLiteral("progress-quitting"));
  quitting.close();

  DownloadProgressWindowController download([] {});
  download.setProgressValue(42);
  download.setPastTimeInterval(3725.9);
  download.setRemainTimeInterval(125);
  shooter.shoot(&download, QStringLiteral("download-progress"));
  download.close();

  VersionWindowController version;
  shooter.shoot(&version, QStringLiteral("version"));
}

}  // namespace

int main(int argc, char* argv[]) {
  const QApplication app(argc, argv);
  const QStringList arguments = QCoreApplication::arguments();
  if (arguments.size() != 2) {
    std::fprintf(stderr, "usage: tarnwell-screenshots FOLDER\n");
    return 2;
  }
  QDir().mkpath(arguments[1]);
  StartUp::prepare({arguments[0]}, Bundle::main());
  Shooter shooter(arguments[1]);
  shootPages(FWUpdaterController::shared(), shooter);
  shootWindows(shooter);
  return shooter.failures() == 0 ? 0 : 1;
}
