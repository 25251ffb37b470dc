#pragma once

#include <QByteArray>
#include <QString>
#include <QVariant>

#include <optional>

// Property lists (XML or binary) read with libplist into Qt values: dictionaries become
// QVariantMap, arrays QVariantList, strings QString, integers qint64, reals double,
// booleans bool, data QByteArray and dates QDateTime.
namespace PropertyList {

// Files larger than this are refused rather than read into memory.
inline constexpr qint64 kMaxFileSize = qint64{16} * 1024 * 1024;

std::optional<QVariant> fromData(const QByteArray& data);
std::optional<QVariant> readFile(const QString& path);
// A dictionary at the top level, or none for anything else.
std::optional<QVariantMap> readDictionaryFile(const QString& path);

QByteArray toXml(const QVariant& value);

}  // namespace PropertyList
