#include "app/ui/VersionWindowController.h"

#include "app/device/VersionCode.h"
#include "app/localize/CMLocalize.h"
#include "app/ui/CMViewLocalizer.h"
#include "app/ui/ImageResource.h"
#include "app/ui/WindowCentering.h"
#include "platform/Bundle.h"

#include "ui_VersionWindowController.h"

VersionWindowController::VersionWindowController(QWidget* parent)
    : QDialog(parent), ui_(std::make_unique<Ui::VersionWindowController>()) {
  ui_->setupUi(this);
  setWindowModality(Qt::ApplicationModal);
  CMViewLocalizer::localizeObjectsRelativeTo(this);
  ImageResource::show(ui_->appIconImageView, QStringLiteral("AppIcon"));
  QFont font = ui_->appNameLabel->font();
  font.setBold(true);
  font.setPointSizeF(font.pointSizeF() * 1.3);
  ui_->appNameLabel->setFont(font);
  const QVariant version = Bundle::main().infoValue(QStringLiteral("CFBundleVersion"));
  if (version.typeId() == QMetaType::QString) {
    ui_->versionLabel->setText(CMLocalize::localizedString(QStringLiteral("ID_VERSION")) +
                               shortVersionString(version.toString()));
  }
  connect(ui_->okButton, &QPushButton::clicked, this, [this] { done(1); });
  WindowCentering::centerOnScreen(this);
}

VersionWindowController::~VersionWindowController() = default;

void VersionWindowController::showVersionWindow(QWidget* parent) {
  VersionWindowController window(parent);
  window.exec();
  window.close();
}
