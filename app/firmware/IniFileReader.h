#pragma once

#include <QHash>
#include <QList>
#include <QString>
#include <QStringView>

#include <cstdint>
#include <optional>

// Reads INI text: "[name]" headers, "key=value" lines and ";" comments. Names, keys and
// values are kept exactly as written (blanks around "=" included) and compared case
// sensitively.
class IniFileReader final {
 public:
  struct Section {
    QString name;
    QHash<QString, QString> parameters;

    // The value as a decimal integer with an optional sign; none when absent, empty,
    // not decimal or out of range.
    std::optional<int64_t> intValue(const QString& key) const;
    // The value as a hexadecimal number after one leading "0x" (lower-case x only) is
    // removed; none when absent, empty, not hexadecimal or out of range.
    std::optional<uint64_t> hexValue(const QString& key) const;
  };

  IniFileReader() = delete;

  // The sections in the order of their headers; a repeated name starts a separate section.
  static QList<Section> parse(QStringView text);
};
