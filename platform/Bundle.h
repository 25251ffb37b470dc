#pragma once

#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVariantMap>

// The application bundle: a relocatable folder holding bin/, share/tarnwell/ with the
// resources, and Info.plist with the bundle information.
class Bundle final {
 public:
  explicit Bundle(const QString& rootPath);

  // The bundle that holds the running executable (its bin/ folder's parent).
  static const Bundle& main();

  QString rootPath() const { return root_; }
  // The folder that contains the bundle folder.
  QString containingDirectory() const;

  QVariantMap info() const { return info_; }
  QVariant infoValue(const QString& key) const { return info_.value(key); }
  // A string value of the bundle information, or empty when absent or not a string.
  QString infoString(const QString& key) const;
  QString identifier() const { return infoString(QStringLiteral("CFBundleIdentifier")); }
  QStringList localizations() const;

  // Path of the resource "name.type", or empty when the bundle has no such file.
  QString resourcePath(const QString& name, const QString& type) const;

  // The bundle's localisations that best match the user's languages, best first.
  QStringList preferredLocalizations() const;
  QStringList preferredLocalizations(const QStringList& userLanguages) const;

 private:
  QString root_;
  QVariantMap info_;
};
