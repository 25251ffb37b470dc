#include "app/ui/UpdaterAvailablePageViewController.h"

#include "app/localize/CMLocalize.h"
#include "app/ui/ImageResource.h"
#include "app/ui/ResultTable.h"
#include "app/update/FWUpdaterController.h"

#include "ui_UpdaterAvailablePageViewController.h"

#include <QDesktopServices>

namespace {

UpdaterAvailablePageViewController::UrlOpener& urlOpener() {
  static UpdaterAvailablePageViewController::UrlOpener opener = [](const QUrl& url) {
    return QDesktopServices::openUrl(url);
  };
  return opener;
}

}  // namespace

UpdaterAvailablePageViewController::UpdaterAvailablePageViewController(
    FWUpdaterController& controller, std::optional<AudioDevice> device,
    std::optional<FirmwareInfo> firmwareInfo, QWidget* parent)
    : WizardPageViewController(controller, parent),
      ui_(std::make_unique<Ui::UpdaterAvailablePageViewController>()),
      device_(std::move(device)),
      firmwareInfo_(std::move(firmwareInfo)) {
  ui_->setupUi(this);
  ResultTable::setUpColumns(ui_->tableView);
  viewDidLoad(ui_->titleLabel, ui_->appVersionLabel);
  ImageResource::show(ui_->illustImageView, QStringLiteral("illust_opening"));
  ui_->message1Label->setText(
      CMLocalize::localizedString(QStringLiteral("ID_MSG_NEW_VERSION_FIRM_AVAILABLE")) + u'\n' +
      CMLocalize::localizedString(QStringLiteral("ID_MSG_CONFIRM_UPDATE_DETAILS")));
  ResultTable(ResultTable::Kind::updaterAvailable, device_, firmwareInfo_).fill(ui_->tableView);
  ui_->detailButton->setEnabled(firmwareInfo_ && webPageUrl(firmwareInfo_->detailURL));
  ui_->updateButton->setEnabled(firmwareInfo_ && usableUrl(firmwareInfo_->fileURL));
  connect(ui_->detailButton, &QPushButton::clicked, this,
          &UpdaterAvailablePageViewController::openDetailPage);
  connect(ui_->updateButton, &QPushButton::clicked, this,
          &UpdaterAvailablePageViewController::performUpdateFirmware);
}

UpdaterAvailablePageViewController::~UpdaterAvailablePageViewController() = default;

std::optional<QUrl> UpdaterAvailablePageViewController::usableUrl(const QString& address) {
  const QUrl url(address, QUrl::StrictMode);
  if (address.isEmpty() || !url.isValid() || url.isRelative()) {
    return std::nullopt;
  }
  return url;
}

std::optional<QUrl> UpdaterAvailablePageViewController::webPageUrl(const QString& address) {
  std::optional<QUrl> url = usableUrl(address);
  if (!url || (url->scheme() != QLatin1String("https") && url->scheme() != QLatin1String("http")) ||
      url->host().isEmpty()) {
    return std::nullopt;
  }
  return url;
}

void UpdaterAvailablePageViewController::setUrlOpener(UrlOpener opener) {
  urlOpener() = std::move(opener);
}

void UpdaterAvailablePageViewController::openDetailPage() {
  if (!firmwareInfo_) {
    return;
  }
  if (const std::optional<QUrl> url = webPageUrl(firmwareInfo_->detailURL)) {
    urlOpener()(*url);
  }
}

void UpdaterAvailablePageViewController::performUpdateFirmware() {
  controller().performUpdateFirmware();
}
