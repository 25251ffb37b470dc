#include "app/sim/VirtualRecorderState.h"

#include "app/sim/VirtualRecorderConfig.h"
#include "platform/PropertyList.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>

namespace {

QString statePath(const QString& folder) {
  return QDir(folder).filePath(QStringLiteral("state.plist"));
}

}  // namespace

VirtualRecorderState VirtualRecorderState::load(const QString& folder,
                                                const VirtualRecorderConfig& config) {
  VirtualRecorderState state;
  state.firmwareVersion = config.firmwareVersion;
  state.subFirmwareVersion = config.subFirmwareVersion;
  const std::optional<QVariantMap> stored = PropertyList::readDictionaryFile(statePath(folder));
  if (!stored) {
    return state;
  }
  const auto label = [&](const QString& key, QString& field) {
    const QVariant value = stored->value(key);
    if (value.typeId() == QMetaType::QString && value.toString().toUtf8().size() <= 8) {
      field = value.toString();
    }
  };
  label(QStringLiteral("firmwareVersion"), state.firmwareVersion);
  label(QStringLiteral("subFirmwareVersion"), state.subFirmwareVersion);
  state.applied = stored->value(QStringLiteral("applied")).toList();
  return state;
}

std::optional<QString> VirtualRecorderState::problem(const QString& folder) {
  const QString path = statePath(folder);
  if (QFileInfo::exists(path) && !PropertyList::readDictionaryFile(path)) {
    return QStringLiteral(
               "%1: not a property list holding a dictionary; move it away to start "
               "the recorder afresh")
        .arg(path);
  }
  return std::nullopt;
}

bool VirtualRecorderState::save(const QString& folder) const {
  const QVariantMap map{
      {QStringLiteral("firmwareVersion"), firmwareVersion},
      {QStringLiteral("subFirmwareVersion"), subFirmwareVersion},
      {QStringLiteral("mode"), updateMode ? QStringLiteral("update") : QStringLiteral("normal")},
      {QStringLiteral("applied"), applied},
  };
  QSaveFile file(statePath(folder));
  return file.open(QIODevice::WriteOnly) && file.write(PropertyList::toXml(map)) >= 0 &&
         file.commit();
}
