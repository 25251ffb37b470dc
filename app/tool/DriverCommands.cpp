#include "app/tool/ToolCommand.h"

QList<ToolCommand> driverCommands() { return {}; }
