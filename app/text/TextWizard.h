#pragma once

#include <QStringList>

#include <chrono>
#include <optional>
#include <set>

class FWUpdaterController;
class TextConsole;
class TextUserInterface;
enum class WizardPage;

// Drives the update run in the terminal: shows the Opening page, then offers the buttons of
// each page the controller shows and calls the action chosen, pumping the event loop while
// the download, the transfer and the recorder's follow-up step run. With `answerYes` the
// pages answer themselves, and the run ends after the first error alert or at the first page
// where no answer moves it on.
class TextWizard final {
 public:
  // Exit statuses of the run.
  static constexpr int kCompleted = 0;
  static constexpr int kFailed = 1;
  static constexpr int kUsage = 2;
  static constexpr int kNothingToUpdate = 3;
  static constexpr int kAlreadyRunning = 4;
  // A signal stopped the update before its end (also the desktop wizard's status).
  static constexpr int kInterrupted = 5;

  TextWizard(FWUpdaterController& controller, TextUserInterface& ui, TextConsole& console,
             bool answerYes);

  // Runs from the Opening page until the run ends; returns its exit status.
  int run();

 private:
  // Offers the current page's buttons once and runs the action chosen; false when the run
  // ends on this page.
  bool answerPage();
  bool answerUpdaterAvailable();
  bool answerUpdating();
  // The button chosen among `buttons` (-1 for closing the window), or none when the run
  // ends here: the input ended, or with `answerYes` the page was already answered once.
  // The desktop's busy line while the recorder finishes behind the Updating page, and the
  // time it has taken so far; once `ended`, the whole time.
  void showFollowUp(bool ended = false);
  std::optional<int> choose(const QStringList& buttons, int yesAnswer,
                            const QStringList& keys = {});
  int exitStatus() const;

  FWUpdaterController& controller_;
  TextUserInterface& ui_;
  TextConsole& console_;
  bool answerYes_;
  std::set<WizardPage> answeredPages_;
  int confirmedPageSerial_ = -1;
  std::optional<std::chrono::steady_clock::time_point> followUpSince_;
  int followUpShown_ = -1;  // the seconds last shown
};
