// The settings file: any bytes where the program looks for it, read as it reads them.
#include "app/core/Settings.h"
#include "fuzz/FuzzScratch.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerInitialize(int* /*argc*/, char*** /*argv*/) {
  FuzzScratch::shared();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
  if (!FuzzScratch::shared().write(QStringLiteral("etc/Velmora/UseTestServer.plist"), bytes)) {
    return 0;
  }
  const Settings settings = Settings::read();
  (void)settings.enableLog();
  (void)settings.server();
  (void)settings.modelID();
  (void)settings.firmwareVersion();
  (void)settings.checkURL();
  (void)settings.localModeDataDir();
  (void)settings.caFile();
  return 0;
}
