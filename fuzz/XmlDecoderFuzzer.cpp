// XML bytes read into a node tree (with and without trimming), written back and read again.
#include "app/service/KvoIBProtocolDecoder.h"
#include "app/service/KvoIBProtocolEncoder.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) {
    return 0;
  }
  const QByteArray bytes(reinterpret_cast<const char*>(data) + 1, static_cast<qsizetype>(size - 1));
  KvoIBProtocolDecoder decoder;
  decoder.setTrimWhiteSpaceOnDecode((data[0] & 1) != 0);
  const KvoIBProtocolNodePtr root = decoder.rootNodeWithXMLData(bytes);
  if (root) {
    const QByteArray written = KvoIBProtocolEncoder().xmlDataWithRootNode(*root);
    (void)decoder.rootNodeWithXMLData(written);
    (void)KvoIBProtocolNode::nodeWithKeyedArchiveData(root->keyedArchiveData());
    for (const KvoIBProtocolNodePtr& child : root->childNodeArray()) {
      (void)child->intValue();
      (void)child->int64Value();
      (void)child->dateValue();
    }
  }
  return 0;
}
