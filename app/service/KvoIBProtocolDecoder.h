#pragma once

#include "app/service/KvoIBProtocolNode.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QUrl>

#include <optional>

struct XML_ParserStruct;

// Reads XML bytes into a node tree with expat. Element texts arrive with the predefined and
// character entities replaced; a document that declares entities of its own, or nests deeper
// than KvoIBProtocolNode::kMaxDepth, is refused, so that entity expansion and external
// entities never reach the tree or the network.
class KvoIBProtocolDecoder final {
 public:
  // Documents read from a file address larger than this are refused.
  static constexpr qint64 kMaxFileSize = qint64{16} * 1024 * 1024;

  KvoIBProtocolDecoder() = default;
  KvoIBProtocolDecoder(const KvoIBProtocolDecoder&) = delete;
  KvoIBProtocolDecoder& operator=(const KvoIBProtocolDecoder&) = delete;

  bool trimWhiteSpaceOnDecode() const { return trimWhiteSpaceOnDecode_; }
  void setTrimWhiteSpaceOnDecode(bool trim) { trimWhiteSpaceOnDecode_ = trim; }

  // The document element, or none when the outermost element was not closed before the
  // parse stopped.
  KvoIBProtocolNodePtr rootNodeWithXMLData(const QByteArray& data);
  // The same for a local file address ("file:"); other schemes give none. Never trims.
  KvoIBProtocolNodePtr rootNodeWithContentsOfURL(const QUrl& url);

 private:
  KvoIBProtocolNodePtr parse(const QByteArray& data);

  static void startElement(void* self, const char* name, const char** attributes);
  static void endElement(void* self, const char* name);
  static void characters(void* self, const char* text, int length);
  static void startCdata(void* self);
  static void endCdata(void* self);
  static void entityDeclaration(void* self, const char*, int, const char*, int, const char*,
                                const char*, const char*, const char*);
  void stop();

  XML_ParserStruct* parser_ = nullptr;
  std::optional<QString> currentText_;
  std::optional<QByteArray> currentData_;
  std::optional<QByteArray> cdataSection_;  // the CDATA section being read
  QList<KvoIBProtocolNodePtr> nodeStack_;
  KvoIBProtocolNodePtr rootNode_;
  bool stopped_ = false;
  bool trimWhiteSpaceOnDecode_ = false;
};
