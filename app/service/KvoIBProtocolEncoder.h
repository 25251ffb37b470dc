#pragma once

#include "app/service/KvoIBProtocolNode.h"

#include <QByteArray>
#include <QString>

// Writes a node tree as the UTF-8 document the update server receives: the XML declaration,
// one element per line indented with tabs, empty elements self-closing, LF line ends. Texts
// and attribute values are written as stored; escaping is the builder's choice.
class KvoIBProtocolEncoder final {
 public:
  QByteArray xmlDataWithRootNode(const KvoIBProtocolNode& rootNode) const;
  void writeXMLWithNode(const KvoIBProtocolNode& node, QString& output, int indentLevel) const;
  static void insertIndent(int level, QString& output);
};
