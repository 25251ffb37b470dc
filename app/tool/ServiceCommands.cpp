#include "app/tool/ToolCommand.h"

QList<ToolCommand> serviceCommands() { return {}; }
