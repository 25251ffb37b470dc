#pragma once

#include <QString>

// The texts of the download progress window: percent, elapsed and remaining time. Shared by
// the Qt window and the terminal front end.
class DownloadProgressText final {
 public:
  DownloadProgressText(QString pastTimePrefix, QString remainTimeFormat,
                       QString remainTimeUnitMinute, QString remainTimeUnitSecond);
  // From the string table: "ID_ELAPSE_TIME", "ID_REMAINING_TIME" (one text placeholder),
  // "ID_UNIT_MIN", "ID_UNIT_SEC".
  static DownloadProgressText fromStringTable();

  // "42%".
  static QString percentText(int progressValue);
  // The prefix, then ": %02d:%02d:%02d" of the whole seconds; 3725.9 reads "...: 01:02:05".
  QString pastTimeText(double pastTimeInterval) const;
  // The format with "n <second unit>" below 61 seconds, else "minutes <minute unit>"; an
  // empty insertion for a negative (unknown) time.
  QString remainTimeText(double remainTimeInterval) const;

 private:
  QString pastTimePrefix_;
  QString remainTimeFormat_;
  QString remainTimeUnitMinute_;
  QString remainTimeUnitSecond_;
};
