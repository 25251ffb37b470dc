// Property lists read as the keyed forms of a firmware description and of a node tree.
#include "app/core/FirmwareInfo.h"
#include "app/service/KvoIBProtocolEncoder.h"
#include "app/service/KvoIBProtocolNode.h"
#include "platform/PropertyList.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
  if (const auto value = PropertyList::fromData(bytes)) {
    (void)FirmwareInfo::fromKeyedArchive(*value);
    if (const KvoIBProtocolNodePtr node = KvoIBProtocolNode::nodeWithKeyedArchive(*value)) {
      (void)KvoIBProtocolEncoder().xmlDataWithRootNode(*node);
    }
  }
  return 0;
}
