#include "app/update/DownloadProgressText.h"

#include "app/localize/CMLocalize.h"

#include <cmath>
#include <limits>

namespace {

// Whole seconds of a time, clamped so that a huge or invalid value cannot overflow.
int64_t wholeSeconds(double seconds) {
  if (!std::isfinite(seconds) || seconds <= 0) {
    return 0;
  }
  constexpr double kMax = 1e15;
  return static_cast<int64_t>(std::min(seconds, kMax));
}

}  // namespace

DownloadProgressText::DownloadProgressText(QString pastTimePrefix, QString remainTimeFormat,
                                           QString remainTimeUnitMinute,
                                           QString remainTimeUnitSecond)
    : pastTimePrefix_(std::move(pastTimePrefix)),
      remainTimeFormat_(std::move(remainTimeFormat)),
      remainTimeUnitMinute_(std::move(remainTimeUnitMinute)),
      remainTimeUnitSecond_(std::move(remainTimeUnitSecond)) {}

DownloadProgressText DownloadProgressText::fromStringTable() {
  const auto table = CMLocalize::shared();
  return {CMLocalize::localizedString(QStringLiteral("ID_ELAPSE_TIME")),
          table ? table->getLocalizedStringWithReplaceEscape(QStringLiteral("ID_REMAINING_TIME"))
                : QString(),
          CMLocalize::localizedString(QStringLiteral("ID_UNIT_MIN")),
          CMLocalize::localizedString(QStringLiteral("ID_UNIT_SEC"))};
}

QString DownloadProgressText::percentText(int progressValue) {
  return QString::number(progressValue) + QLatin1Char('%');
}

QString DownloadProgressText::pastTimeText(double pastTimeInterval) const {
  const int64_t t = wholeSeconds(pastTimeInterval);
  const int64_t hours = t / 3600;
  const int64_t minutes = (t - hours * 3600) / 60;
  const int64_t seconds = t - hours * 3600 - minutes * 60;
  return pastTimePrefix_ + QStringLiteral(": %1:%2:%3")
                               .arg(hours, 2, 10, QLatin1Char('0'))
                               .arg(minutes, 2, 10, QLatin1Char('0'))
                               .arg(seconds, 2, 10, QLatin1Char('0'));
}

QString DownloadProgressText::remainTimeText(double remainTimeInterval) const {
  QString inserted;
  if (remainTimeInterval >= 0) {
    const int64_t n = wholeSeconds(remainTimeInterval);
    inserted = n < 61 ? QString::number(n) + QLatin1Char(' ') + remainTimeUnitSecond_
                      : QString::number(n / 60) + QLatin1Char(' ') + remainTimeUnitMinute_;
  }
  return CMLocalize::formatWithStrings(remainTimeFormat_, {inserted});
}
