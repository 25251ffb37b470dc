#include "app/service/KvoIBProtocolEncoder.h"

QByteArray KvoIBProtocolEncoder::xmlDataWithRootNode(const KvoIBProtocolNode& rootNode) const {
  QString output = QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n");
  writeXMLWithNode(rootNode, output, 0);
  return output.toUtf8();
}

void KvoIBProtocolEncoder::writeXMLWithNode(const KvoIBProtocolNode& node, QString& output,
                                            int indentLevel) const {
  const QString name = node.name().value_or(QString());
  insertIndent(indentLevel, output);
  output += QLatin1Char('<') + name;
  const QStringList order = node.attributesOrder().value_or(node.attributes().keys());
  for (const QString& attribute : order) {
    const auto it = node.attributes().constFind(attribute);
    if (it != node.attributes().cend()) {
      output += QLatin1Char(' ') + attribute + QStringLiteral("=\"") + *it + QLatin1Char('"');
    }
  }
  const bool hasText = node.text() && !node.text()->isEmpty();
  if (!node.childNodeArray().isEmpty()) {
    output += QStringLiteral(">\n");
    for (const KvoIBProtocolNodePtr& child : node.childNodeArray()) {
      writeXMLWithNode(*child, output, indentLevel + 1);
    }
    insertIndent(indentLevel, output);
    output += QStringLiteral("</") + name + QStringLiteral(">\n");
  } else if (!hasText) {
    output += QStringLiteral(" />\n");
  } else {
    output += QLatin1Char('>') + *node.text() + QStringLiteral("</") + name + QStringLiteral(">\n");
  }
}

void KvoIBProtocolEncoder::insertIndent(int level, QString& output) {
  for (int i = 0; i < level; ++i) {
    output += QLatin1Char('\t');
  }
}
