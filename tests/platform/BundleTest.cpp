#include "platform/Bundle.h"

#include <gtest/gtest.h>

#include <QDir>

using namespace Qt::StringLiterals;

namespace {

TEST(Bundle, ReadsTheBuiltBundle) {
  const Bundle bundle(QStringLiteral(TARNWELL_BUNDLE_DIR));
  EXPECT_EQ(bundle.identifier(), u"com.velmora.tarnwell"_s);
  EXPECT_FALSE(bundle.infoString(u"CFBundleVersion"_s).isEmpty());
  EXPECT_FALSE(bundle.resourcePath(u"Localizable"_s, u"olc"_s).isEmpty());
  EXPECT_TRUE(bundle.resourcePath(u"Missing"_s, u"olc"_s).isEmpty());
  EXPECT_EQ(bundle.containingDirectory(),
            QDir::cleanPath(QStringLiteral(TARNWELL_BUNDLE_DIR "/..")));
}

TEST(Bundle, PreferredLocalizationFollowsTheUserLanguages) {
  const Bundle bundle(QStringLiteral(TARNWELL_BUNDLE_DIR));
  const std::pair<QStringList, QString> cases[] = {
      {{u"ja"_s}, u"ja"_s},
      {{u"ja_JP.UTF-8"_s}, u"ja"_s},
      {{u"de-AT"_s, u"en"_s}, u"de"_s},
      {{u"zh-TW"_s}, u"zh_TW"_s},
      {{u"zh_HK"_s}, u"zh_TW"_s},
      {{u"zh-CN"_s}, u"zh_CN"_s},
      {{u"zh"_s}, u"zh_CN"_s},
      {{u"nl"_s, u"fr-CA"_s}, u"fr"_s},
      {{u"nl"_s}, u"en"_s},
      {{u"C"_s}, u"en"_s},
      {{}, u"en"_s},
  };
  for (const auto& [languages, expected] : cases) {
    EXPECT_EQ(bundle.preferredLocalizations(languages), QStringList{expected})
        << languages.join(QLatin1Char(',')).toStdString();
  }
}

TEST(Bundle, AFolderWithoutInformationHasNoIdentifier) {
  const Bundle bundle(u"/nonexistent"_s);
  EXPECT_TRUE(bundle.identifier().isEmpty());
  EXPECT_TRUE(bundle.preferredLocalizations({u"ja"_s}).isEmpty());
}

}  // namespace
