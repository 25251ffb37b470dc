#include "app/text/TextProgressView.h"

#include "app/text/TextConsole.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr int kBarWidth = 30;

}  // namespace

TextProgressView::TextProgressView(TextConsole& console) : console_(console) {}

TextProgressView::~TextProgressView() { console_.endRewrittenLine(); }

QString TextProgressView::bar(int percent) {
  const int clamped = std::clamp(percent, 0, 100);
  const int filled = clamped * kBarWidth / 100;
  return QStringLiteral("[%1%2] %3%")
      .arg(QString(filled, u'#'), QString(kBarWidth - filled, u'.'))
      .arg(clamped, 3);
}

QString TextProgressView::elapsed(int seconds) {
  QString minutesAndSeconds =
      QStringLiteral("%1:%2").arg(seconds / 60 % 60).arg(seconds % 60, 2, 10, QLatin1Char('0'));
  if (seconds < 3600) {
    return minutesAndSeconds;
  }
  return QStringLiteral("%1:%2").arg(seconds / 3600).arg(minutesAndSeconds.rightJustified(5, u'0'));
}

void TextProgressView::setMessage(const QString& message) {
  if (!shown_ || message == message_) {
    return;
  }
  message_ = message;
  if (!message.isEmpty()) {
    console_.printLine(message);
  }
  shownPercent_ = -1;
}

void TextProgressView::setIndeterminate(bool indeterminate) { indeterminate_ = indeterminate; }

void TextProgressView::setValue(double percent) {
  // An indeterminate bar shows no value; the message says what is going on.
  if (!shown_ || indeterminate_ || !std::isfinite(percent)) {
    return;
  }
  const int whole = static_cast<int>(std::clamp(percent, 0.0, 100.0));
  if (whole == shownPercent_) {
    return;
  }
  shownPercent_ = whole;
  const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(
      std::chrono::steady_clock::now() - shownSince_);
  console_.rewriteLine(
      QStringLiteral("  %1  %2").arg(bar(whole), elapsed(static_cast<int>(seconds.count()))));
}

void TextProgressView::close() {
  if (shown_) {
    shown_ = false;
    console_.endRewrittenLine();
  }
}
