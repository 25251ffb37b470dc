#pragma once

#include "app/sim/VirtualRecorderRack.h"

#include <QStringList>

#include <memory>

// The recorders named by "--virtual FOLDER" options (repeatable), taken out of `arguments`
// and attached for as long as the result lives; null without the option. On a bad option
// or folder, prints the error and sets *exitStatus (2 for usage, 1 for a folder).
std::unique_ptr<VirtualRecorderRack> takeVirtualRecorders(QStringList& arguments, int* exitStatus);
