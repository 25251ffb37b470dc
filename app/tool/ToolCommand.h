#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <cstdint>

// One subcommand of tarnwell-tool. run() returns the exit status: 0 success, 1 a reported
// failure, 2 bad usage (after printing a one-line error with usageError()).
struct ToolCommand {
  QString name;
  QString usage;    // the arguments, as shown by --help
  QString summary;  // one line
  int (*run)(const QStringList& arguments) = nullptr;
};

namespace Tool {

inline constexpr int kSuccess = 0;
inline constexpr int kFailure = 1;
inline constexpr int kUsage = 2;

void printLine(const QString& line);
void printField(const QString& name, const QString& value);
// "0x" and the value in upper-case hexadecimal, at least `digits` digits.
QString hex(uint64_t value, int digits);
int usageError(const QString& message);
int failure(const QString& message);

}  // namespace Tool

// Each subsystem lists its commands in a ...Commands.cpp file of its own.
QList<ToolCommand> coreCommands();
QList<ToolCommand> deviceCommands();
QList<ToolCommand> driverCommands();
QList<ToolCommand> firmwareCommands();
QList<ToolCommand> gadgetCommands();
QList<ToolCommand> localizeCommands();
QList<ToolCommand> recorderCommands();
QList<ToolCommand> serviceCommands();
QList<ToolCommand> volumeCommands();
