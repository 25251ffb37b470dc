#pragma once

#include <QStringView>

#include <optional>
#include <span>
#include <string_view>

// The HTML character entities the string utility writes: one UTF-16 code unit to its
// entity text ("&amp;"). The double quote and U+0192 have no entry, so they pass through
// unchanged; the apostrophe maps to "&apos;".
class KvoHTMLSpecialCharMappingDict final {
 public:
  struct Entry final {
    char16_t codeUnit;
    std::u16string_view entity;
  };

  KvoHTMLSpecialCharMappingDict();

  // Sorted by code unit, each code unit once.
  std::span<const Entry> entries() const { return entries_; }
  qsizetype size() const { return static_cast<qsizetype>(entries_.size()); }
  std::optional<QStringView> value(char16_t codeUnit) const;
  bool contains(char16_t codeUnit) const { return value(codeUnit).has_value(); }

 private:
  std::span<const Entry> entries_;
};
