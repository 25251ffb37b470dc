// A local firmware description: any bytes, decoded, parsed and turned into the record.
#include "app/firmware/IniFileReader.h"
#include "app/firmware/LocalUpdateInfo.h"

#include <QByteArray>

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
  (void)LocalUpdateInfo::fromData(bytes);
  for (const IniFileReader::Section& section : IniFileReader::parse(QString::fromUtf8(bytes))) {
    for (auto it = section.parameters.cbegin(); it != section.parameters.cend(); ++it) {
      (void)section.intValue(it.key());
      (void)section.hexValue(it.key());
    }
  }
  return 0;
}
