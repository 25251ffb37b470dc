#pragma once

#include <QString>

// The country code the update request names: the region of the user's locale looked up in
// the bundle's "Locales.plist" (region -> code), "0001" when anything is missing.
class CountryCode final {
 public:
  static constexpr auto kUnknown = "0001";

  static QString currentCountryCode();
  // `localeIdentifier` such as "en_US"; `localesPath` the region table.
  static QString countryCode(const QString& localeIdentifier, const QString& localesPath);
};
