#include "tests/support/TestController.h"

#include "app/device/AudioDeviceDetectorReal.h"
#include "app/device/AudioDeviceInterfaceReal.h"
#include "app/firmware/FileCopyProcedure.h"
#include "app/firmware/LocalFileManager.h"
#include "app/firmware/ScsiTransferProcedure.h"
#include "platform/PropertyList.h"

#include <QDir>
#include <QFile>

using namespace std::chrono_literals;

std::unique_ptr<FWUpdaterController> makeTestController(
    const DownloadManagerReal::Configuration& service) {
  const auto instant = [](std::chrono::milliseconds) {};
  ScsiTransferProcedure::Pauses scsiPauses;
  scsiPauses.sleep = instant;
  FileCopyProcedure::Pauses copyPauses;
  copyPauses.sleep = instant;
  auto controller = std::make_unique<FWUpdaterController>(
      std::make_shared<RunningEnvironmentMock>(1),
      std::make_shared<AudioDeviceDetectorReal>(0ms, QStringList{}),
      std::make_shared<AudioDeviceInterfaceReal>(
          std::make_shared<ScsiTransferProcedure>(scsiPauses),
          std::make_shared<FileCopyProcedure>(copyPauses, std::make_shared<LocalFileManager>(),
                                              QDir::tempPath()),
          AudioDeviceInterfaceReal::Waits{100ms, 5000ms, 5000ms}),
      std::make_shared<DownloadManagerReal>(service));
  controller->checkPauses = {0ms, 0ms, 0ms};
  return controller;
}

bool copyExampleRecorder(const QString& example, const QString& folder,
                         const QVariantMap& changes) {
  const QDir source(QStringLiteral(TARNWELL_SOURCE_DIR "/resources/examples/") + example);
  QDir().mkpath(folder);
  for (const QString& file : source.entryList(QDir::Files)) {
    QFile::copy(source.filePath(file), QDir(folder).filePath(file));
  }
  auto config = PropertyList::readDictionaryFile(source.filePath(QStringLiteral("recorder.plist")));
  if (!config) {
    return false;
  }
  for (auto it = changes.begin(); it != changes.end(); ++it) {
    config->insert(it.key(), it.value());
  }
  QFile plist(QDir(folder).filePath(QStringLiteral("recorder.plist")));
  return plist.open(QIODevice::WriteOnly) && plist.write(PropertyList::toXml(*config)) > 0;
}
