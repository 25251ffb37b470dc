#pragma once

#include "tests/device/AttachedRecorderFixture.h"

#include <QDir>
#include <QStringList>

#include <utility>
#include <vector>

// A virtual recorder attached as detection would find it, an interface without procedures
// of its own (the test calls them), and a record of log lines and progress reports.
class ProcedureFixture : public AttachedRecorderFixture {
 protected:
  // The command blocks the recorder received, each with its direction, length and result.
  QStringList commands() const { return transcript().split(QLatin1Char('\n'), Qt::SkipEmptyParts); }
  // The received commands whose block starts with `prefix` ("E4 02").
  QStringList commands(const QString& prefix) const {
    QStringList found;
    for (const QString& line : commands()) {
      if (line.startsWith(prefix)) {
        found << line;
      }
    }
    return found;
  }

  bool logged(const QString& line) const { return log.lines().contains(line); }

  AudioDeviceInterface::Progress recordProgress() {
    return [this](int64_t done, int64_t total) { progress.emplace_back(done, total); };
  }

  QString folderPath(const QString& name) const { return QDir(folder.path()).filePath(name); }

  std::vector<std::pair<int64_t, int64_t>> progress;
};
