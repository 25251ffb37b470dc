#include "app/localize/CMStringUtility.h"

#include "tests/support/QStringPrinter.h"

#include <gtest/gtest.h>

#include <string_view>

using namespace Qt::StringLiterals;

using namespace std::string_view_literals;

TEST(CMStringUtilityTest, ReplacesHTMLSpecialCharactersAndDropsControls) {
  const struct {
    QString input;
    QString expected;
  } cases[] = {
      {QString(), QString()},
      {u"<a & b>"_s, u"&lt;a &amp; b&gt;"_s},
      {u"say \"hi\""_s, u"say \"hi\""_s},
      {u"it's"_s, u"it&apos;s"_s},
      {u"a\tb\nc\rd"_s, u"abcd"_s},
      {QString::fromUtf16(u"\u0001x\u001F\u007F"), u"x"_s},
      {QString::fromUtf16(u"[\u0085\u0080\u009F]"), u"[]"_s},
      {QString::fromUtf16(u"caf\u00E9\u00A0"), u"caf&eacute;&nbsp;"_s},
      {QString::fromUtf16(u"\u20AC5\u2122 \u03B1\u2665"), u"&euro;5&trade; &alpha;&hearts;"_s},
      // The last Latin-1 entry and the last entry of the table.
      {QString::fromUtf16(u"\u00FF\u2666"), u"&yuml;&diams;"_s},
      {QString::fromUtf16(u"\u0192(x)"), QString::fromUtf16(u"\u0192(x)")},
      {QString::fromUtf16(u"\U0001F600<"), QString::fromUtf16(u"\U0001F600&lt;")},
      {QString::fromUtf16(u"\u65E5\u672C"), QString::fromUtf16(u"\u65E5\u672C")},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(CMStringUtility::stringByReplacingHTMLSpecialCharacters(c.input), c.expected)
        << c.input.toStdString();
  }
}

TEST(CMStringUtilityTest, StringWithCStringCutsAtNulAndRejectsInvalidBytes) {
  const struct {
    std::string_view bytes;
    qsizetype length;
    QStringConverter::Encoding encoding;
    std::optional<QString> expected;
  } cases[] = {
      {"abc\0def"sv, 7, QStringConverter::Utf8, u"abc"_s},
      {"abcdef"sv, 2, QStringConverter::Utf8, u"ab"_s},
      {"\0abc"sv, 4, QStringConverter::Utf8, QString()},
      {"abc"sv, 0, QStringConverter::Utf8, QString()},
      {"\xE6\x97\xA5\xE6\x9C\xAC"sv, 6, QStringConverter::Utf8,
       QString::fromUtf16(u"\u65E5\u672C")},
      {"\xEF\xBB\xBFx"sv, 4, QStringConverter::Utf8, QChar(0xFEFF) + u"x"_s},
      {"ok\0\xFF"sv, 4, QStringConverter::Utf8, u"ok"_s},
      {"a\xFF"sv, 2, QStringConverter::Utf8, std::nullopt},
      // A sequence cut off by the length is invalid, not pending.
      {"\xE6\x97\xA5\xE6\x9C\xAC"sv, 5, QStringConverter::Utf8, std::nullopt},
      {"\xC0\xAF"sv, 2, QStringConverter::Utf8, std::nullopt},
      {"\xE9t\xE9"sv, 3, QStringConverter::Latin1, QString::fromUtf16(u"\u00E9t\u00E9")},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(CMStringUtility::stringWithCString(c.bytes.data(), c.length, c.encoding), c.expected)
        << c.bytes << " / " << c.length;
  }
  EXPECT_EQ(CMStringUtility::stringWithCString(nullptr, 5, QStringConverter::Utf8), QString());
}
