#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <array>
#include <optional>

#include <sys/types.h>

// The one process spawner of the tests. Children start with posix_spawn rather than
// QProcess: QProcess's vfork-style start runs the child inside the parent's memory, which
// corrupts the thread sanitizer's view of the test.

// Starts `command` (its program found on PATH) without waiting for it; its standard input,
// output and error are the descriptors given (-1: the caller's, -2: /dev/null), its
// environment `environment` ("NAME=value" entries), none: the caller's.
std::optional<pid_t> startProcess(const QStringList& command,
                                  std::array<int, 3> streams = {-1, -1, -1},
                                  const std::optional<QStringList>& environment = std::nullopt);

// A program run to its end: its exit status (-1 when it did not exit) and its output.
struct ToolRun {
  int status = -1;
  QString out;
  QString err;
};

// Runs the built tool without the caller's language variables, so that the user's language
// comes only from `environment` ("NAME=value" entries).
ToolRun runTool(const QStringList& arguments, const QStringList& environment = {});

// Runs `program` the same way; with `input` its standard input is a socket that carries
// those bytes and then ends, else it is the caller's.
ToolRun runProgram(const QString& program, const QStringList& arguments,
                   const QStringList& environment = {},
                   const std::optional<QByteArray>& input = std::nullopt);
