#pragma once

#include "app/core/FirmwareInfo.h"
#include "app/device/AudioDevice.h"
#include "app/ui/WizardPageViewController.h"

#include <QUrl>

#include <functional>
#include <memory>
#include <optional>

namespace Ui {
class UpdaterAvailablePageViewController;
}

// The offer: the recorder and the newer firmware; details open the release notes in the web
// browser, update asks to confirm and leads to the licence.
class UpdaterAvailablePageViewController final : public WizardPageViewController {
  Q_OBJECT

 public:
  using UrlOpener = std::function<bool(const QUrl&)>;

  UpdaterAvailablePageViewController(FWUpdaterController& controller,
                                     std::optional<AudioDevice> device,
                                     std::optional<FirmwareInfo> firmwareInfo, QWidget* parent);
  ~UpdaterAvailablePageViewController() override;

  Ui::UpdaterAvailablePageViewController& outlets() const { return *ui_; }

  // The package's address, when it is one the download can use.
  static std::optional<QUrl> usableUrl(const QString& address);
  // The release notes' address, when it is a web page: other schemes would start programs.
  static std::optional<QUrl> webPageUrl(const QString& address);

  // Where the details go; the desktop's web browser unless a test replaces it.
  static void setUrlOpener(UrlOpener opener);

 private:
  void openDetailPage();
  void performUpdateFirmware();

  std::unique_ptr<Ui::UpdaterAvailablePageViewController> ui_;
  std::optional<AudioDevice> device_;
  std::optional<FirmwareInfo> firmwareInfo_;
};
