#include "app/core/Settings.h"

#include "platform/PropertyList.h"

#include <QDir>

QString Settings::filePath() {
  QString base = QStringLiteral("/etc/xdg");
  const QStringList dirs = qEnvironmentVariable("XDG_CONFIG_DIRS").split(QLatin1Char(':'));
  for (const QString& dir : dirs) {
    if (!dir.isEmpty()) {
      base = dir;
      break;
    }
  }
  return base + QStringLiteral("/Velmora/UseTestServer.plist");
}

Settings Settings::read() { return read(filePath()); }

Settings Settings::read(const QString& path) {
  return Settings(PropertyList::readDictionaryFile(path).value_or(QVariantMap()));
}

std::optional<bool> Settings::enableLog() const {
  const QVariant value = values_.value(QLatin1String(kEnableLog));
  if (value.typeId() != QMetaType::Bool) {
    return std::nullopt;
  }
  return value.toBool();
}

std::optional<QString> Settings::path(const char* key) const {
  auto value = string(key);
  if (value && (*value == QLatin1String("~") || value->startsWith(QLatin1String("~/")))) {
    value->replace(0, 1, QDir::homePath());
  }
  return value;
}

std::optional<QString> Settings::string(const char* key) const {
  const QVariant value = values_.value(QLatin1String(key));
  if (value.typeId() != QMetaType::QString) {
    return std::nullopt;
  }
  return value.toString();
}
