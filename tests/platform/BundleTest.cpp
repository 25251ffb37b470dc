#include "platform/Bundle.h"

#include <gtest/gtest.h>

#include <QDir>

namespace {

TEST(Bundle, ReadsTheBuiltBundle) {
  const Bundle bundle(QStringLiteral(TARNWELL_BUNDLE_DIR));
  EXPECT_EQ(bundle.identifier(), QStringLiteral("com.velmora.tarnwell"));
  EXPECT_FALSE(bundle.infoString(QStringLiteral("CFBundleVersion")).isEmpty());
  EXPECT_EQ(bundle.localizations().size(), 10);
  EXPECT_FALSE(bundle.resourcePath(QStringLiteral("Localizable"), QStringLiteral("olc")).isEmpty());
  EXPECT_TRUE(bundle.resourcePath(QStringLiteral("Missing"), QStringLiteral("olc")).isEmpty());
  EXPECT_EQ(bundle.containingDirectory(),
            QDir::cleanPath(QStringLiteral(TARNWELL_BUNDLE_DIR "/..")));
}

TEST(Bundle, PreferredLocalizationFollowsTheUserLanguages) {
  const Bundle bundle(QStringLiteral(TARNWELL_BUNDLE_DIR));
  const std::pair<QStringList, QString> cases[] = {
      {{QStringLiteral("ja")}, QStringLiteral("ja")},
      {{QStringLiteral("ja_JP.UTF-8")}, QStringLiteral("ja")},
      {{QStringLiteral("de-AT"), QStringLiteral("en")}, QStringLiteral("de")},
      {{QStringLiteral("zh-TW")}, QStringLiteral("zh_TW")},
      {{QStringLiteral("zh_HK")}, QStringLiteral("zh_TW")},
      {{QStringLiteral("zh-CN")}, QStringLiteral("zh_CN")},
      {{QStringLiteral("zh")}, QStringLiteral("zh_CN")},
      {{QStringLiteral("nl"), QStringLiteral("fr-CA")}, QStringLiteral("fr")},
      {{QStringLiteral("nl")}, QStringLiteral("en")},
      {{QStringLiteral("C")}, QStringLiteral("en")},
      {{}, QStringLiteral("en")},
  };
  for (const auto& [languages, expected] : cases) {
    EXPECT_EQ(bundle.preferredLocalizations(languages), QStringList{expected})
        << languages.join(QLatin1Char(',')).toStdString();
  }
}

TEST(Bundle, AFolderWithoutInformationHasNoIdentifier) {
  const Bundle bundle(QStringLiteral("/nonexistent"));
  EXPECT_TRUE(bundle.identifier().isEmpty());
  EXPECT_TRUE(bundle.preferredLocalizations({QStringLiteral("ja")}).isEmpty());
}

}  // namespace
