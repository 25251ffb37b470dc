#pragma once

#include "app/localize/KvoHTMLSpecialCharMappingDict.h"

#include <QString>
#include <QStringConverter>

#include <optional>

class CMStringUtility final {
 public:
  CMStringUtility() = delete;

  static KvoHTMLSpecialCharMappingDict htmlSpecialCharMappingDictionary();

  // Drops control characters and writes every code unit of the entity table as its
  // entity; everything else, surrogate pairs included, is copied unit by unit.
  static QString stringByReplacingHTMLSpecialCharacters(const QString& text);

  // Decodes at most `length` bytes, stopping at the first NUL. Null bytes or nothing to
  // decode give the empty text; bytes invalid in the encoding give none.
  static std::optional<QString> stringWithCString(const char* bytes, qsizetype length,
                                                  QStringConverter::Encoding encoding);
};
