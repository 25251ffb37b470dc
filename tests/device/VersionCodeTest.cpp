#include "app/device/VersionCode.h"

#include <gtest/gtest.h>

namespace {

TEST(VersionCode, FromLabel) {
  const std::pair<const char*, const char*> cases[] = {{"Ver 1.23", "1230"},
                                                       {"ver 1.23", "1230"},
                                                       {"VER 2.0A", "20A0"},
                                                       {"Ver 1.2", ""},
                                                       {"Ver 1.234", ""},
                                                       {"Rev 1.23", ""},
                                                       {"", ""},
                                                       {"Ver_1.23", ""}};
  for (const auto& [label, code] : cases) {
    EXPECT_EQ(versionCodeFromLabel(QString::fromUtf8(label)), QString::fromUtf8(code)) << label;
  }
}

TEST(VersionCode, Display) {
  const std::pair<const char*, const char*> cases[] = {
      {"1230", "1.23"}, {"1A50", "1.A5"}, {"", "0.00"},  {"12", "1.20"},
      {"1.G0", "1.00"}, {"fff0", "F.FF"}, {"-1", "0.10"}};
  for (const auto& [code, shown] : cases) {
    EXPECT_EQ(displayVersionFromCode(QString::fromUtf8(code)), QString::fromUtf8(shown)) << code;
  }
}

TEST(VersionCode, LowerComparesHexDigitsInOrder) {
  const std::tuple<const char*, const char*, bool> cases[] = {
      {"1230", "1230", false}, {"1230", "1231", true}, {"2000", "1FFF", false},
      {"1FFF", "2000", true},  {"123", "1230", false}, {"0990", "09A0", true},
      {"", "0001", true},      {"x999", "1000", true}};
  for (const auto& [a, b, lower] : cases) {
    EXPECT_EQ(isVersionCodeLower(QString::fromUtf8(a), QString::fromUtf8(b)), lower)
        << a << " < " << b;
  }
}

TEST(VersionCode, ShortVersion) {
  const std::pair<const char*, const char*> cases[] = {{"1.2.0", "1.2"}, {"1.02.3", "1.2.3"},
                                                       {"2", "2.0"},     {"1.x.5", "1.0.5"},
                                                       {"", "0.0"},      {"3.4.5.6", "3.4.5"}};
  for (const auto& [text, shortened] : cases) {
    EXPECT_EQ(shortVersionString(QString::fromUtf8(text)), QString::fromUtf8(shortened)) << text;
  }
}

}  // namespace
