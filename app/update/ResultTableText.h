#pragma once

#include <QString>

#include <cstdint>

// The cells of the result pages' table that both front ends show the same way.
namespace ResultTableText {

// "1.5 MB" for 1,572,864 bytes; the unit is the string table's.
QString fileSizeText(int64_t bytes);

// The recorder's name without the padding its answer carries.
QString displayName(const QString& deviceName);

}  // namespace ResultTableText
