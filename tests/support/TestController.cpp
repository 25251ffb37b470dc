#include "tests/support/TestController.h"

#include "app/device/AudioDeviceDetectorReal.h"
#include "app/device/AudioDeviceInterfaceReal.h"
#include "app/firmware/FileCopyProcedure.h"
#include "app/firmware/KvoUnZip.h"
#include "app/firmware/LocalFileManager.h"
#include "app/firmware/ScsiTransferProcedure.h"
#include "app/localize/CMLocalize.h"
#include "platform/PropertyList.h"

#include <QDir>
#include <QFile>

using namespace Qt::StringLiterals;

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
  controller->setCheckPauses({0ms, 0ms, 0ms});
  return controller;
}

DownloadManagerReal::Configuration serviceOf(const TestHttpsServer& server) {
  DownloadManagerReal::Configuration service;
  service.updateInfoURL = server.url(u"/ww_inform/fcache.do"_s);
  service.connectionCheckURL = server.url(u"/soft/qx20/check/index.html"_s);
  service.caFile = server.caFile();
  return service;
}

QVariantMap serviceSettingsOf(const TestHttpsServer& server) {
  const DownloadManagerReal::Configuration service = serviceOf(server);
  return {{u"dvr_update_server"_s, service.updateInfoURL.toString()},
          {u"dvr_update_check_url"_s, service.connectionCheckURL.toString()},
          {u"dvr_update_ca_file"_s, service.caFile}};
}

bool writeSettingsFile(const QString& configFolder, const QVariantMap& values) {
  QDir(configFolder).mkpath(u"Velmora"_s);
  QFile file(QDir(configFolder).filePath(u"Velmora/UseTestServer.plist"_s));
  return file.open(QIODevice::WriteOnly) && file.write(PropertyList::toXml(values)) > 0;
}

QString exampleFile(const QString& example, const QString& name) {
  return QStringLiteral(TARNWELL_SOURCE_DIR "/resources/examples/") + example + u'/' + name;
}

bool copyExampleRecorder(const QString& example, const QString& folder,
                         const QVariantMap& changes) {
  const QDir source(exampleFile(example, QString()));
  QDir().mkpath(folder);
  for (const QString& file : source.entryList(QDir::Files)) {
    QFile::copy(source.filePath(file), QDir(folder).filePath(file));
  }
  auto config = PropertyList::readDictionaryFile(source.filePath(u"recorder.plist"_s));
  if (!config) {
    return false;
  }
  for (auto it = changes.begin(); it != changes.end(); ++it) {
    config->insert(it.key(), it.value());
  }
  QFile plist(QDir(folder).filePath(u"recorder.plist"_s));
  return plist.open(QIODevice::WriteOnly) && plist.write(PropertyList::toXml(*config)) > 0;
}

QString messageText(const QString& messageId) {
  const qsizetype space = messageId.indexOf(u' ');
  QString message = CMLocalize::localizedString(messageId.left(space));
  if (space > 0) {
    message.replace(message.contains(u"%d"_s) ? u"%d"_s : u"%s"_s, messageId.mid(space + 1));
  }
  return message;
}

namespace {

QVariantList appliedUpdates(const QString& folder) {
  const auto state = PropertyList::readDictionaryFile(QDir(folder).filePath(u"state.plist"_s));
  return state ? state->value(u"applied"_s).toList() : QVariantList();
}

}  // namespace

QStringList appliedFiles(const QString& folder) {
  QStringList names;
  for (const QVariant& update : appliedUpdates(folder)) {
    for (const QVariant& file : update.toMap().value(u"files"_s).toList()) {
      names.append(file.toMap().value(u"name"_s).toString());
    }
  }
  return names;
}

bool recorderTookPackage(const QString& folder, const QString& package) {
  QFile file(package);
  if (!file.open(QIODevice::ReadOnly)) {
    return false;
  }
  if (package.endsWith(u".bin"_s)) {
    const QByteArray image = file.readAll();
    QFile flash(QDir(folder).filePath(u"flash-dsp.bin"_s));
    return flash.open(QIODevice::ReadOnly) && flash.read(image.size()) == image;
  }
  const QVariantList applied = appliedUpdates(folder);
  if (applied.size() != 1) {
    return false;
  }
  int64_t bytes = 0;
  for (const QVariant& entry : applied.front().toMap().value(u"files"_s).toList()) {
    bytes += entry.toMap().value(u"bytes"_s).toLongLong();
  }
  return bytes == KvoUnZip::totalFileSizeInZipFileAtPath(package);
}
