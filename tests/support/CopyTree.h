#pragma once

#include <QString>

// Copies the folder `from` with everything below it to `to`, keeping file permissions (a
// bundle's programs stay executable); false when a file could not be copied.
bool copyTree(const QString& from, const QString& to);
