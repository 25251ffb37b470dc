#include "app/text/TextUserInterface.h"

#include "app/localize/CMLocalize.h"
#include "app/text/TextConsole.h"
#include "app/text/TextDownloadProgressView.h"
#include "app/text/TextPageText.h"
#include "app/text/TextProgressView.h"

TextUserInterface::TextUserInterface(TextConsole& console, bool answerYes)
    : console_(console), answerYes_(answerYes) {}

bool TextUserInterface::isErrorAlert(const AlertRequest& alert) {
  if (!alert.cancelButtonTitle) {
    return true;
  }
  // A question with Yes confirms a step; Retry/Cancel asks how to go on after a failure.
  const QString yes = CMLocalize::localizedString(QStringLiteral("ID_YES"));
  return yes.isEmpty() || alert.defaultButtonTitle != yes;
}

std::optional<int> TextUserInterface::runAlert(const AlertRequest& alert) {
  const bool error = isErrorAlert(alert);
  errorAlertShown_ = errorAlertShown_ || error;
  console_.printLine();
  console_.printLine((error ? QStringLiteral("[!] ") : QStringLiteral("[?] ")) + alert.message);
  QStringList buttons{alert.defaultButtonTitle};
  if (alert.cancelButtonTitle) {
    buttons.append(*alert.cancelButtonTitle);
  }
  const QStringList keys = alert.deliberate && buttons.size() == 2
                               ? QStringList{QStringLiteral("y"), QStringLiteral("n")}
                               : QStringList{};
  if (answerYes_) {
    // A failing step is never retried on its own: Cancel for Retry/Cancel.
    const int index = error && buttons.size() > 1 ? 1 : 0;
    console_.showAnswer(buttons, index, keys);
    return index == 0 ? 1 : 0;
  }
  const std::optional<int> index = console_.choose(buttons, {}, keys);
  // Without answers the safe button: Cancel (or No) where there is one.
  if (!index) {
    return buttons.size() > 1 ? 0 : 1;
  }
  return *index == 0 ? 1 : 0;
}

std::unique_ptr<DownloadProgressView> TextUserInterface::showDownloadProgress(
    std::function<void()> /*cancel*/) {
  return std::make_unique<TextDownloadProgressView>(console_);
}

void TextUserInterface::showPage(const WizardPageRequest& request) {
  currentPage_ = request;
  ++pageSerial_;
  console_.printLine();
  for (const QString& line : TextPageText::lines(request, localMode_)) {
    console_.printLine(line);
  }
}

std::unique_ptr<ProgressView> TextUserInterface::showProgress(bool /*taller*/) {
  return std::make_unique<TextProgressView>(console_);
}
