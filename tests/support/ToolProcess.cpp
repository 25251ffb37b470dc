#include "tests/support/ToolProcess.h"

#include <QProcess>
#include <QProcessEnvironment>

ToolRun runTool(const QStringList& arguments, const QStringList& environment) {
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  for (const char* name : {"LANGUAGE", "LC_ALL", "LC_MESSAGES", "LANG"}) {
    env.remove(QString::fromLatin1(name));
  }
  for (const QString& assignment : environment) {
    const qsizetype at = assignment.indexOf(QLatin1Char('='));
    env.insert(assignment.left(at), assignment.mid(at + 1));
  }
  QProcess process;
  process.setProcessEnvironment(env);
  process.start(QStringLiteral(TARNWELL_TOOL_PATH), arguments);
  process.waitForFinished(120000);
  return {process.exitCode(), QString::fromUtf8(process.readAllStandardOutput()),
          QString::fromUtf8(process.readAllStandardError())};
}
