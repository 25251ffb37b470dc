#include "platform/Bundle.h"

#include "platform/PropertyList.h"

#include <QDir>
#include <QFileInfo>
#include <QLocale>

namespace {

QString executableBundleRoot() {
  // /proc/self/exe works before (and without) a QCoreApplication.
  const QFileInfo exe(QFile::symLinkTarget(QStringLiteral("/proc/self/exe")));
  return QDir::cleanPath(exe.absolutePath() + QStringLiteral("/.."));
}

// "ja_JP.UTF-8@euro" and "ja-JP" both become "ja-JP".
QString normalizedLanguageTag(QString tag) {
  const auto cut = [&tag](QChar c) {
    const qsizetype at = tag.indexOf(c);
    if (at >= 0) {
      tag.truncate(at);
    }
  };
  cut(QLatin1Char('.'));
  cut(QLatin1Char('@'));
  tag.replace(QLatin1Char('_'), QLatin1Char('-'));
  return tag;
}

// The tags to try for one user language, most specific first: "zh-HK" tries "zh-HK", then
// the traditional-script forms "zh-TW" and "zh-Hant", then "zh".
QStringList matchCandidates(const QString& tag) {
  QStringList candidates{tag};
  const QStringList parts = tag.split(QLatin1Char('-'));
  if (parts.first() == QLatin1String("zh")) {
    if (QLocale(tag).script() == QLocale::TraditionalHanScript) {
      candidates << QStringLiteral("zh-TW") << QStringLiteral("zh-Hant");
    } else {
      candidates << QStringLiteral("zh-CN") << QStringLiteral("zh-Hans");
    }
  }
  for (qsizetype n = parts.size() - 1; n >= 1; --n) {
    candidates << parts.mid(0, n).join(QLatin1Char('-'));
  }
  candidates.removeDuplicates();
  return candidates;
}

}  // namespace

Bundle::Bundle(const QString& rootPath)
    : root_(rootPath),
      info_(PropertyList::readDictionaryFile(rootPath + QStringLiteral("/Info.plist"))
                .value_or(QVariantMap())) {}

const Bundle& Bundle::main() {
  static const Bundle bundle(executableBundleRoot());
  return bundle;
}

QString Bundle::containingDirectory() const {
  return QDir::cleanPath(root_ + QStringLiteral("/.."));
}

QString Bundle::infoString(const QString& key) const {
  const QVariant value = info_.value(key);
  return value.typeId() == QMetaType::QString ? value.toString() : QString();
}

QStringList Bundle::localizations() const {
  QStringList names;
  for (const QVariant& item : info_.value(QStringLiteral("CFBundleLocalizations")).toList()) {
    if (item.typeId() == QMetaType::QString) {
      names << item.toString();
    }
  }
  return names;
}

QString Bundle::resourcePath(const QString& name, const QString& type) const {
  const QString path = root_ + QStringLiteral("/share/tarnwell/") + name + QLatin1Char('.') + type;
  return QFileInfo(path).isFile() ? path : QString();
}

QStringList Bundle::preferredLocalizations() const {
  return preferredLocalizations(QLocale::system().uiLanguages());
}

QStringList Bundle::preferredLocalizations(const QStringList& userLanguages) const {
  // Localisations may be named "zh_TW" or "zh-TW"; they are compared in the second form.
  const QStringList available = localizations();
  QStringList normalized;
  for (const QString& name : available) {
    normalized << normalizedLanguageTag(name);
  }
  for (const QString& language : userLanguages) {
    for (const QString& candidate : matchCandidates(normalizedLanguageTag(language))) {
      const qsizetype at = normalized.indexOf(candidate);
      if (at >= 0) {
        return {available[at]};
      }
    }
  }
  const QString development = infoString(QStringLiteral("CFBundleDevelopmentRegion"));
  if (available.contains(development)) {
    return {development};
  }
  return available.isEmpty() ? QStringList() : QStringList{available.first()};
}
