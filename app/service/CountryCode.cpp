#include "app/service/CountryCode.h"

#include "platform/Bundle.h"
#include "platform/PropertyList.h"

#include <QLocale>

namespace {

// The user's locale as the environment names it ("de_AT.UTF-8" -> "de_AT"), so that a locale
// without a region stays without one.
QString currentLocaleIdentifier() {
  for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    QString value = qEnvironmentVariable(name);
    if (!value.isEmpty()) {
      return value.section(QLatin1Char('.'), 0, 0).section(QLatin1Char('@'), 0, 0);
    }
  }
  return QLocale::system().name();
}

}  // namespace

QString CountryCode::currentCountryCode() {
  return countryCode(
      currentLocaleIdentifier(),
      Bundle::main().resourcePath(QStringLiteral("Locales"), QStringLiteral("plist")));
}

QString CountryCode::countryCode(const QString& localeIdentifier, const QString& localesPath) {
  QString unknown = QString::fromLatin1(kUnknown);
  const QStringList pieces = localeIdentifier.split(QLatin1Char('_'));
  if (pieces.size() < 2) {
    return unknown;
  }
  const QString region = pieces[1].left(2);
  if (localesPath.isEmpty()) {
    return unknown;
  }
  const QVariant code =
      PropertyList::readDictionaryFile(localesPath).value_or(QVariantMap()).value(region);
  return code.typeId() == QMetaType::QString ? code.toString() : unknown;
}
