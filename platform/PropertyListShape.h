#pragma once

#include <QByteArrayView>

#include <cstdint>

// What a document must look like before libplist 2.2 may parse it. That version recurses
// once per nesting level in both forms (a deep document overflows the stack), expands a
// binary list's shared containers copy by copy (a few hundred bytes can describe billions
// of nodes) and aborts on a binary dictionary key holding a NUL byte. The check itself
// neither recurses without bound nor expands anything.
namespace PropertyListShape {

struct Limits {
  int maxHeight = 0;      // levels from the root to the deepest value, the root counting 1
  uint64_t maxNodes = 0;  // values of a binary list once its shared ones are copied
};

// True when the document (XML or binary) stays within `limits` and libplist can be given
// it. An XML document must be well-formed; a binary one must be consistent.
bool isParseable(QByteArrayView data, const Limits& limits);

}  // namespace PropertyListShape
