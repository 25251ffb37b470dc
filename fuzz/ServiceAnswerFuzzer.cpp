// An update-service answer as the server or the local data directory may send it.
#include "app/service/FirmwareDemand.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const FirmwareDemand demand(QStringLiteral("00001000"));
  const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
  if (const auto info = demand.parseFirmwareResult(bytes)) {
    (void)info->fields();
  }
  return 0;
}
