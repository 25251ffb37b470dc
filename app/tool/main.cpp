#include "app/core/StartUp.h"
#include "app/tool/ToolCommand.h"

#include <QCoreApplication>

#include <cstdio>

namespace Tool {

void printLine(const QString& line) {
  std::fputs(line.toUtf8().constData(), stdout);
  std::fputc('\n', stdout);
}

void printField(const QString& name, const QString& value) {
  printLine(name + QLatin1Char('=') + value);
}

QString hex(uint64_t value, int digits) {
  return QStringLiteral("0x") + QString::number(value, 16).toUpper().rightJustified(digits, u'0');
}

int usageError(const QString& message) {
  std::fprintf(stderr, "tarnwell-tool: %s\n", message.toUtf8().constData());
  return kUsage;
}

int failure(const QString& message) {
  std::fprintf(stderr, "tarnwell-tool: %s\n", message.toUtf8().constData());
  return kFailure;
}

}  // namespace Tool

namespace {

QList<ToolCommand> allCommands() {
  return coreCommands() + deviceCommands() + driverCommands() + firmwareCommands() +
         gadgetCommands() + recorderCommands() + serviceCommands() + localizeCommands() +
         volumeCommands();
}

void printHelp() {
  Tool::printLine(QStringLiteral("usage: tarnwell-tool COMMAND [ARGUMENT...]\n"));
  Tool::printLine(QStringLiteral("Diagnostics and scripting for the Tarnwell firmware updater."));
  Tool::printLine(
      QStringLiteral("Output is one name=value line per field; exit status 0 on "
                     "success, 1 on a reported failure, 2 on bad usage.\n"));
  Tool::printLine(QStringLiteral("commands:"));
  for (const ToolCommand& command : allCommands()) {
    Tool::printLine(
        QStringLiteral("  %1 %2\n      %3").arg(command.name, command.usage, command.summary));
  }
}

}  // namespace

int main(int argc, char* argv[]) {
  StartUp::tuneProcess();
  const QCoreApplication app(argc, argv);
  QStringList arguments = QCoreApplication::arguments().mid(1);
  if (arguments.isEmpty()) {
    return Tool::usageError(QStringLiteral("expected a COMMAND; see --help"));
  }
  const QString name = arguments.takeFirst();
  if (name == QLatin1String("--help") || name == QLatin1String("-h") ||
      name == QLatin1String("help")) {
    printHelp();
    return Tool::kSuccess;
  }
  if (name == QLatin1String("--version")) {
    Tool::printLine(QStringLiteral("tarnwell-tool " TARNWELL_VERSION));
    return Tool::kSuccess;
  }
  for (const ToolCommand& command : allCommands()) {
    if (command.name != name) {
      continue;
    }
    if (arguments.value(0) == QLatin1String("--help") ||
        arguments.value(0) == QLatin1String("-h")) {
      Tool::printLine(QStringLiteral("usage: tarnwell-tool %1 %2\n%3")
                          .arg(command.name, command.usage, command.summary)
                          .trimmed());
      return Tool::kSuccess;
    }
    return command.run(arguments);
  }
  return Tool::usageError(QStringLiteral("unknown command \"%1\"; see --help").arg(name));
}
