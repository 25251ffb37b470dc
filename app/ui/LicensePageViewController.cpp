#include "app/ui/LicensePageViewController.h"

#include "app/localize/CMLocalize.h"
#include "app/update/FWUpdaterController.h"

#include "ui_LicensePageViewController.h"

#include <QScrollBar>

LicensePageViewController::LicensePageViewController(FWUpdaterController& controller,
                                                     QWidget* parent)
    : WizardPageViewController(controller, parent),
      ui_(std::make_unique<Ui::LicensePageViewController>()) {
  ui_->setupUi(this);
  viewDidLoad(ui_->titleLabel, ui_->appVersionLabel);
  QPlainTextEdit* text = ui_->licenseTextView;
  text->setPlainText(CMLocalize::localizedString(QStringLiteral("ID_LICENCE_AGREEMENT_ALL")));
  text->setReadOnly(true);
  text->setLineWrapMode(QPlainTextEdit::WidgetWidth);
  text->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  // Read-only text still scrolls from the keyboard once it has the focus.
  text->setTextInteractionFlags(Qt::TextSelectableByKeyboard);
  text->moveCursor(QTextCursor::Start);
  text->verticalScrollBar()->setValue(0);
  connect(ui_->disagreeButton, &QPushButton::clicked, this,
          [this] { this->controller().disagree(); });
  connect(ui_->agreeButton, &QPushButton::clicked, this,
          [this] { this->controller().startDownload(); });
}

LicensePageViewController::~LicensePageViewController() = default;
