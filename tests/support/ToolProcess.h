#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>

// tarnwell-tool run as a separate process, as a script or a support engineer runs it.
struct ToolRun {
  int status = -1;
  QString out;
  QString err;
};

// Runs the built tool without the caller's language variables, so that the user's language
// comes only from `environment` ("NAME=value" entries).
ToolRun runTool(const QStringList& arguments, const QStringList& environment = {});

// Runs `program` the same way; with `input` its standard input is a pipe that carries those
// bytes and then ends, else it is the caller's.
ToolRun runProgram(const QString& program, const QStringList& arguments,
                   const QStringList& environment = {},
                   const std::optional<QByteArray>& input = std::nullopt);
