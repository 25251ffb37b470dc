#include "app/service/KvoIBProtocolDecoder.h"

#include "platform/BoundedRead.h"

#include <expat.h>

#include <QStringDecoder>

#include <algorithm>
#include <memory>

namespace {

struct ParserDeleter {
  void operator()(XML_Parser parser) const { XML_ParserFree(parser); }
};

// expat takes its input in int-sized pieces.
constexpr qsizetype kChunkSize = qsizetype{1} << 20;

}  // namespace

KvoIBProtocolNodePtr KvoIBProtocolDecoder::rootNodeWithXMLData(const QByteArray& data) {
  if (!trimWhiteSpaceOnDecode_) {
    return parse(data);
  }
  QStringDecoder decoder(QStringDecoder::Utf8);
  const QString text = decoder.decode(data);
  if (decoder.hasError()) {
    rootNode_.reset();
    return nullptr;
  }
  return parse(text.trimmed().toUtf8());
}

KvoIBProtocolNodePtr KvoIBProtocolDecoder::rootNodeWithContentsOfURL(const QUrl& url) {
  rootNode_.reset();
  if (!url.isLocalFile()) {
    return nullptr;
  }
  const std::optional<QByteArray> data = readFileAtMost(url.toLocalFile(), kMaxFileSize);
  return data ? parse(*data) : nullptr;
}

KvoIBProtocolNodePtr KvoIBProtocolDecoder::parse(const QByteArray& data) {
  rootNode_.reset();
  nodeStack_.clear();
  currentText_.reset();
  currentData_.reset();
  cdataSection_.reset();
  stopped_ = false;

  const std::unique_ptr<XML_ParserStruct, ParserDeleter> parser(XML_ParserCreate(nullptr));
  if (!parser) {
    return nullptr;
  }
  parser_ = parser.get();
  XML_SetUserData(parser_, this);
  XML_SetElementHandler(parser_, startElement, endElement);
  XML_SetCharacterDataHandler(parser_, characters);
  XML_SetCdataSectionHandler(parser_, startCdata, endCdata);
  XML_SetEntityDeclHandler(parser_, entityDeclaration);
  XML_SetParamEntityParsing(parser_, XML_PARAM_ENTITY_PARSING_NEVER);

  qsizetype offset = 0;
  do {
    const qsizetype length = std::min(kChunkSize, data.size() - offset);
    const bool last = offset + length >= data.size();
    if (XML_Parse(parser_, data.constData() + offset, static_cast<int>(length),
                  last ? XML_TRUE : XML_FALSE) != XML_STATUS_OK) {
      break;
    }
    offset += length;
  } while (offset < data.size());

  parser_ = nullptr;
  // Open elements of an unfinished document are released here, not kept.
  nodeStack_.clear();
  currentText_.reset();
  currentData_.reset();
  cdataSection_.reset();
  return rootNode_;
}

void KvoIBProtocolDecoder::stop() {
  stopped_ = true;
  XML_StopParser(parser_, XML_FALSE);
}

void KvoIBProtocolDecoder::startElement(void* self, const char* name, const char** attributes) {
  auto* decoder = static_cast<KvoIBProtocolDecoder*>(self);
  if (decoder->stopped_) {
    return;
  }
  if (decoder->nodeStack_.size() >= KvoIBProtocolNode::kMaxDepth) {
    decoder->stop();
    return;
  }
  auto node = KvoIBProtocolNode::nodeWithName(QString::fromUtf8(name));
  for (const char** attribute = attributes; attribute[0] != nullptr; attribute += 2) {
    node->attributes().insert(QString::fromUtf8(attribute[0]), QString::fromUtf8(attribute[1]));
  }
  decoder->nodeStack_.append(node);
  decoder->currentText_ = QString();
  decoder->currentData_.reset();
}

void KvoIBProtocolDecoder::endElement(void* self, const char* /*name*/) {
  auto* decoder = static_cast<KvoIBProtocolDecoder*>(self);
  if (decoder->stopped_ || decoder->nodeStack_.isEmpty()) {
    return;
  }
  KvoIBProtocolNodePtr node = decoder->nodeStack_.takeLast();
  if (node->childNodeArray().isEmpty()) {
    node->setText(decoder->currentText_.value_or(QString()));
    node->setCDATA(decoder->currentData_);
  }
  decoder->currentText_.reset();
  decoder->currentData_.reset();
  if (!decoder->nodeStack_.isEmpty()) {
    decoder->nodeStack_.last()->addChildNode(node);
  } else {
    decoder->rootNode_ = node;
  }
}

void KvoIBProtocolDecoder::characters(void* self, const char* text, int length) {
  auto* decoder = static_cast<KvoIBProtocolDecoder*>(self);
  if (decoder->stopped_) {
    return;
  }
  if (decoder->cdataSection_) {
    decoder->cdataSection_->append(text, length);
  } else if (decoder->currentText_) {
    decoder->currentText_->append(QString::fromUtf8(text, length));
  }
}

void KvoIBProtocolDecoder::startCdata(void* self) {
  static_cast<KvoIBProtocolDecoder*>(self)->cdataSection_ = QByteArray();
}

void KvoIBProtocolDecoder::endCdata(void* self) {
  auto* decoder = static_cast<KvoIBProtocolDecoder*>(self);
  decoder->currentData_ = decoder->cdataSection_;
  decoder->cdataSection_.reset();
}

void KvoIBProtocolDecoder::entityDeclaration(void* self, const char* /*name*/, int /*isParam*/,
                                             const char* /*value*/, int /*valueLength*/,
                                             const char* /*base*/, const char* /*systemId*/,
                                             const char* /*publicId*/, const char* /*notation*/) {
  static_cast<KvoIBProtocolDecoder*>(self)->stop();
}
