// The simulation's property-list files: the same bytes read as a devices file, a response
// file, a virtual recorder's recorder.plist and its state.plist (a link to the same file).
#include "app/sim/MockDeviceDefine.h"
#include "app/sim/MockServerResponse.h"
#include "app/sim/VirtualRecorderConfig.h"
#include "app/sim/VirtualRecorderState.h"
#include "fuzz/FuzzScratch.h"

#include <QFile>

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerInitialize(int* /*argc*/, char*** /*argv*/) {
  const FuzzScratch& folder = FuzzScratch::shared();
  QFile::link(QStringLiteral("recorder.plist"), folder.filePath(QStringLiteral("state.plist")));
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const FuzzScratch& scratch = FuzzScratch::shared();
  const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
  if (!scratch.write(QStringLiteral("recorder.plist"), bytes)) {
    return 0;
  }
  const QString path = scratch.filePath(QStringLiteral("recorder.plist"));
  if (const auto devices = MockDeviceDefine::readFile(path)) {
    for (const MockDeviceDefine& define : *devices) {
      (void)define.makeAudioDevice();
    }
  }
  if (const auto response = MockServerResponse::readFile(path)) {
    (void)response->packagePath();
    (void)response->firmwareInfo.fields();
  }
  const auto config = VirtualRecorderConfig::read(scratch.filePath(QString()));
  const VirtualRecorderConfig* read = std::get_if<VirtualRecorderConfig>(&config);
  (void)VirtualRecorderState::load(scratch.filePath(QString()),
                                   read != nullptr ? *read : VirtualRecorderConfig());
  return 0;
}
