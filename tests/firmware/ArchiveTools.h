#pragma once

#include <QByteArray>
#include <QMap>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <utility>
#include <vector>

// Helpers that make real archives with other tools and look at what an extraction left.
namespace ArchiveTools {

// An archive of the given kind written by Python's zipfile (tests/data/firmware).
bool makePythonArchive(const QString& kind, const QString& path, const QString& argument = {});

void writeFile(const QString& path, const QByteArray& data);
QByteArray readFile(const QString& path);
// Bytes that compress well, different for each seed.
QByteArray pattern(int size, int seed);

// Everything below root, not following links: relative path -> content, "<dir>" for a
// directory, "<link>" for a symbolic link.
QMap<QString, QByteArray> tree(const QString& root);

// Every (written, total) pair a progress handler received.
using ProgressLog = std::vector<std::pair<int64_t, int64_t>>;

}  // namespace ArchiveTools
