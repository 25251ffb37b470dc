#pragma once

#include <QString>
#include <QStringList>

// tarnwell-tool run as a separate process, as a script or a support engineer runs it.
struct ToolRun {
  int status = -1;
  QString out;
  QString err;
};

// Runs the built tool without the caller's language variables, so that the user's language
// comes only from `environment` ("NAME=value" entries).
ToolRun runTool(const QStringList& arguments, const QStringList& environment = {});
