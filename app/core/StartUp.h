#pragma once

#include "app/core/LaunchOptions.h"

#include <QStringList>

class Bundle;

// What the application does first, before any window exists: read the launch options,
// switch logging as the settings file says, and load the string table of the user's
// language from the bundle.
namespace StartUp {

// The process-wide settings that the downloads want, made first in main(), before the
// application object and any thread exist.
void tuneProcess();

LaunchOptions prepare(const QStringList& arguments, const Bundle& bundle);

}  // namespace StartUp
