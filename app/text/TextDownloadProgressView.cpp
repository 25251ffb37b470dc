#include "app/text/TextDownloadProgressView.h"

#include "app/localize/CMLocalize.h"
#include "app/text/TextConsole.h"
#include "app/text/TextProgressView.h"

#include <cmath>

TextDownloadProgressView::TextDownloadProgressView(TextConsole& console)
    : console_(console), text_(DownloadProgressText::fromStringTable()) {
  console_.printLine(CMLocalize::localizedString(QStringLiteral("ID_MSG_DOWNLOADING_FIRMWARE")));
}

TextDownloadProgressView::~TextDownloadProgressView() { close(); }

void TextDownloadProgressView::setProgressValue(int percent) {
  const bool changed = percent != progressValue_ || shownLine_.isEmpty();
  progressValue_ = percent;
  refresh(changed);
}

void TextDownloadProgressView::setPastTimeInterval(double seconds) {
  // The elapsed time is shown in whole seconds; anything else cannot be.
  pastTimeInterval_ = std::isfinite(seconds) && seconds >= 0 ? seconds : 0;
  refresh(false);
}

void TextDownloadProgressView::setRemainTimeInterval(double seconds) {
  remainTimeInterval_ = std::isfinite(seconds) ? seconds : -1;
  refresh(false);
}

void TextDownloadProgressView::refresh(bool percentChanged) {
  if (closed_) {
    return;
  }
  const QString line =
      QStringLiteral("  %1  %2  %3")
          .arg(TextProgressView::bar(progressValue_), text_.pastTimeText(pastTimeInterval_),
               text_.remainTimeText(remainTimeInterval_));
  if (line == shownLine_) {
    return;
  }
  // Off a terminal the clock alone does not earn a line: only a new percentage does.
  if (console_.isOutputTerminal() || percentChanged) {
    console_.rewriteLine(line);
    shownLine_ = line;
  }
}

void TextDownloadProgressView::close() {
  if (!closed_) {
    closed_ = true;
    console_.endRewrittenLine();
  }
}
