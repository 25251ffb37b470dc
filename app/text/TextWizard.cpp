#include "app/text/TextWizard.h"

#include "app/localize/CMLocalize.h"
#include "app/text/TextConsole.h"
#include "app/text/TextProgressView.h"
#include "app/text/TextUserInterface.h"
#include "app/update/FWUpdaterController.h"

#include <QCoreApplication>
#include <QTimer>
#include <QUrl>

#include <chrono>

namespace {

QString text(const char* messageId) {
  return CMLocalize::localizedString(QString::fromLatin1(messageId));
}

bool isUsableUrl(const QString& address) {
  const QUrl url(address, QUrl::StrictMode);
  return !address.isEmpty() && url.isValid() && !url.isRelative();
}

}  // namespace

TextWizard::TextWizard(FWUpdaterController& controller, TextUserInterface& ui, TextConsole& console,
                       bool answerYes)
    : controller_(controller), ui_(ui), console_(console), answerYes_(answerYes) {}

int TextWizard::run() {
  controller_.setMainWindowController(&ui_);
  ui_.setLocalMode(controller_.localUpdateInfo().has_value());
  controller_.showPage({WizardPage::opening, std::nullopt, std::nullopt});
  controller_.bringMainWindowToFront();

  // Waiting for events returns at least this often, so the loop sees every change of state.
  QTimer wakeUp;
  wakeUp.start(std::chrono::milliseconds(100));
  while (!ui_.isTerminated() && !(answerYes_ && ui_.hasShownErrorAlert())) {
    const std::optional<WizardPageRequest>& page = ui_.currentPage();
    // Nothing to answer while the main window is hidden (download, transfer) or while the
    // recorder's follow-up step runs behind the Updating page.
    const bool busy = !page || !ui_.isMainWindowShown() ||
                      (page->page == WizardPage::updating && controller_.isExecutingUpdate());
    if (busy) {
      if (page && page->page == WizardPage::updating) {
        showFollowUp();
      }
      QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
      continue;
    }
    if (followUpSince_) {
      // The whole time it took, also where the lines in between were left out.
      showFollowUp(true);
      followUpSince_.reset();
      console_.endRewrittenLine();
    }
    if (!answerPage()) {
      break;
    }
  }
  console_.endRewrittenLine();
  return exitStatus();
}

void TextWizard::showFollowUp(bool ended) {
  const auto now = std::chrono::steady_clock::now();
  if (!followUpSince_) {
    followUpSince_ = now;
    followUpShown_ = -1;
    console_.printLine();
    console_.printLine(text("ID_MSG_FINISHING_UPDATE"));
  }
  const auto seconds = static_cast<int>(
      std::chrono::duration_cast<std::chrono::seconds>(now - *followUpSince_).count());
  // Rewritten in place on a terminal; elsewhere every line stays, so fewer of them.
  const int step = console_.isOutputTerminal() ? 1 : 10;
  const bool shown = ended ? seconds == followUpShown_ : seconds / step == followUpShown_ / step;
  if (followUpShown_ >= 0 && shown) {
    return;
  }
  followUpShown_ = seconds;
  console_.rewriteLine(QStringLiteral("  ") + TextProgressView::elapsed(seconds));
}

int TextWizard::exitStatus() const {
  if (controller_.isInterrupted()) {
    return kInterrupted;
  }
  if (answerYes_ && ui_.hasShownErrorAlert()) {
    return kFailed;
  }
  const std::optional<WizardPageRequest>& page = ui_.currentPage();
  if (page && page->page == WizardPage::completed) {
    return kCompleted;
  }
  if (page && page->page == WizardPage::updaterNone) {
    return kNothingToUpdate;
  }
  return kFailed;
}

std::optional<int> TextWizard::choose(const QStringList& buttons, int yesAnswer,
                                      const QStringList& keys) {
  if (!answerYes_) {
    // A page whose own button closes offers no second Close.
    const QString close = text("ID_BTN_CLOSE");
    return console_.choose(buttons, buttons.contains(close) ? QString() : close, keys);
  }
  const WizardPage page = ui_.currentPage()->page;
  // A page met again would be answered the same way again: a loop, not a run.
  if (yesAnswer < 0 || !answeredPages_.insert(page).second) {
    return std::nullopt;
  }
  console_.showAnswer(buttons, yesAnswer, keys);
  return yesAnswer;
}

bool TextWizard::answerPage() {
  const WizardPage page = ui_.currentPage()->page;
  std::optional<int> answer;
  switch (page) {
    case WizardPage::opening:
      answer = choose({text("ID_BTN_NEXT")}, 0);
      if (answer == 0) {
        controller_.next();
      }
      break;
    case WizardPage::updaterAvailable:
      return answerUpdaterAvailable();
    case WizardPage::updaterNone:
      // Another recorder is a decision for a person; a scripted run ends here.
      answer = choose({text("ID_BTN_CONTINUE"), text("ID_BTN_CLOSE")}, -1);
      if (answer == 0) {
        controller_.updateNextDevice();
      } else if (answer == 1) {
        controller_.terminateApp();
      }
      break;
    case WizardPage::license:
      // Not by habit: d and a, not the 1 that moved the earlier pages on.
      answer = choose({text("ID_BTN_DISAGREE"), text("ID_BTN_AGREE")}, 1,
                      {QStringLiteral("d"), QStringLiteral("a")});
      if (answer == 0) {
        controller_.disagree();
      } else if (answer == 1) {
        controller_.startDownload();
      }
      break;
    case WizardPage::updating:
      return answerUpdating();
    case WizardPage::completed:
      answer = choose({text("ID_BTN_CLOSE")}, 0);
      if (answer == 0) {
        controller_.terminateApp();
      }
      break;
  }
  if (!answer) {
    return false;
  }
  // Closing the main window ends the application once the controller agrees.
  return *answer >= 0 || !controller_.shouldClose();
}

bool TextWizard::answerUpdaterAvailable() {
  const WizardPageRequest request = *ui_.currentPage();
  const bool canUpdate = request.firmwareInfo && isUsableUrl(request.firmwareInfo->fileURL);
  const bool hasDetails = request.firmwareInfo && isUsableUrl(request.firmwareInfo->detailURL);
  // Disabled buttons are not offered.
  QStringList buttons;
  if (hasDetails) {
    buttons.append(text("ID_BTN_DETAIL"));
  }
  if (canUpdate) {
    buttons.append(text("ID_BTN_UPDATE"));
  }
  const int updateIndex = hasDetails ? 1 : 0;
  const std::optional<int> answer = choose(buttons, canUpdate ? updateIndex : -1);
  if (!answer) {
    return false;
  }
  if (*answer < 0) {
    return !controller_.shouldClose();
  }
  if (hasDetails && *answer == 0) {
    // No browser is opened from a terminal; the address is there to be followed.
    console_.printLine(QStringLiteral("  ") + request.firmwareInfo->detailURL);
    return true;
  }
  controller_.performUpdateFirmware();
  return true;
}

bool TextWizard::answerUpdating() {
  const int serial = ui_.pageSerial();
  const QString box = text("ID_CHK_UPDATING_CONFIRM");
  if (answerYes_) {
    // The follow-up step has ended here, so its outcome is part of the run.
    if (!choose({QStringLiteral("[x] ") + box, text("ID_BTN_NEXT")}, 1)) {
      return false;
    }
    controller_.goToNext();
    return true;
  }
  const bool ticked = confirmedPageSerial_ == serial;
  // Next is offered only while the box is ticked, as the page enables its button.
  QStringList buttons{(ticked ? QStringLiteral("[x] ") : QStringLiteral("[ ] ")) + box};
  if (ticked) {
    buttons.append(text("ID_BTN_NEXT"));
  }
  const std::optional<int> answer = console_.choose(buttons, text("ID_BTN_CLOSE"));
  if (!answer) {
    return false;
  }
  if (*answer < 0) {
    return !controller_.shouldClose();
  }
  if (*answer == 0) {
    confirmedPageSerial_ = ticked ? -1 : serial;
  } else {
    controller_.goToNext();
  }
  return true;
}
