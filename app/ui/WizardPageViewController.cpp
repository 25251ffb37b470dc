#include "app/ui/WizardPageViewController.h"

#include "app/device/VersionCode.h"
#include "app/localize/CMLocalize.h"
#include "app/ui/CMViewLocalizer.h"
#include "platform/Bundle.h"

#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>

WizardPageViewController::WizardPageViewController(FWUpdaterController& controller, QWidget* parent)
    : QWidget(parent), controller_(controller) {}

void WizardPageViewController::viewDidLoad(QLabel* titleLabel, QLabel* appVersionLabel) {
  appVersionLabel_ = appVersionLabel;
  const QVariant version = Bundle::main().infoValue(QStringLiteral("CFBundleVersion"));
  if (appVersionLabel_ != nullptr && version.typeId() == QMetaType::QString) {
    appVersionLabel_->setText(CMLocalize::localizedString(QStringLiteral("ID_VERSION")) +
                              shortVersionString(version.toString()));
  }
  if (titleLabel != nullptr) {
    QFont font = titleLabel->font();
    font.setBold(true);
    font.setPointSizeF(font.pointSizeF() * 1.4);
    titleLabel->setFont(font);
    // A table without the page's own title names the application instead of showing an ID.
    if (CMLocalize::shared() != nullptr && !CMViewLocalizer::localized(titleLabel->text())) {
      titleLabel->setText(CMLocalize::localizedString(QStringLiteral("ID_APP_NAME")));
    }
  }
  CMViewLocalizer::localizeObjectsRelativeTo(this);
}

void WizardPageViewController::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
    const QList<QPushButton*> buttons = findChildren<QPushButton*>();
    for (QPushButton* button : buttons) {
      if (button->isDefault() && button->isEnabled() && button->isVisible()) {
        button->click();
        return;
      }
    }
  }
  QWidget::keyPressEvent(event);
}
