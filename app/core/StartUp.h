#pragma once

#include "app/core/LaunchOptions.h"

#include <QStringList>

class Bundle;

// What the application does first, before any window exists: read the launch options,
// switch logging as the settings file says, and load the string table of the user's
// language from the bundle.
namespace StartUp {

LaunchOptions prepare(const QStringList& arguments, const Bundle& bundle);

}  // namespace StartUp
