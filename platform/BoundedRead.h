#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

// The whole content of a file, or none when it cannot be read or holds more than maxSize
// bytes. Reads in pieces, so a small file costs a small buffer whatever the bound.
std::optional<QByteArray> readFileAtMost(const QString& path, qint64 maxSize);
