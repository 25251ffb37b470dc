#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

// A descriptor for reading `path`, or -1 when it cannot be opened or is not a regular file. It
// is opened without blocking, so a FIFO or a device named as an input never holds the caller;
// the caller closes it.
int openRegularFile(const QString& path);

// The whole content of a regular file, or none when it cannot be read, is not a regular file
// or holds more than maxSize bytes. Reads in pieces, so a small file costs a small buffer
// whatever the bound.
std::optional<QByteArray> readFileAtMost(const QString& path, qint64 maxSize);
