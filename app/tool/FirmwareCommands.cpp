#include "app/tool/ToolCommand.h"

QList<ToolCommand> firmwareCommands() { return {}; }
