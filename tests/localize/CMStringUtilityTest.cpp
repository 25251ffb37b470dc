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
