#include "app/firmware/IniFileReader.h"
#include "tests/support/QStringPrinter.h"

#include <gtest/gtest.h>

#include <optional>

namespace {

using Parameters = QHash<QString, QString>;

TEST(IniFileReader, ReadsSectionsKeysAndComments) {
  const QString text = QStringLiteral(
      "orphan=ignored\n"
      "; a comment\n"
      "# not a comment=kept\n"
      "   [FIRMWARE]   trailing text\n"
      "Name=a=b\n"
      "Empty=\n"
      "Mode = 2\n"
      "==\n"
      "=x=y\n"
      "Name=second\n"
      "[ spaced ]\n"
      "[unclosed\n"
      "Key=value\n"
      "[FIRMWARE]\n"
      "Mode=1\n"
      "[]\n");
  const QList<IniFileReader::Section> sections = IniFileReader::parse(text);
  ASSERT_EQ(sections.size(), 4);
  EXPECT_EQ(sections[0].name, QStringLiteral("FIRMWARE"));
  EXPECT_EQ(sections[0].parameters, (Parameters{{QStringLiteral("Name"), QStringLiteral("second")},
                                                {QStringLiteral("Mode "), QStringLiteral(" 2")},
                                                {QStringLiteral("x"), QStringLiteral("y")}}));
  // The header without "]" leaves Key=value in the section before it.
  EXPECT_EQ(sections[1].name, QStringLiteral(" spaced "));
  EXPECT_EQ(sections[1].parameters, (Parameters{{QStringLiteral("Key"), QStringLiteral("value")}}));
  EXPECT_EQ(sections[2].parameters, (Parameters{{QStringLiteral("Mode"), QStringLiteral("1")}}));
  EXPECT_EQ(sections[3].name, QString());
}

TEST(IniFileReader, EveryLineBreakConventionSplitsLines) {
  for (const char16_t* lineBreak :
       {u"\n", u"\r\n", u"\r", u"\v", u"\f", u"\u0085", u"\u2028", u"\u2029", u"\n\n\r\n"}) {
    const QString br = QString::fromUtf16(lineBreak);
    const QString text =
        QStringLiteral("[S]") + br + QStringLiteral("a=1") + br + QStringLiteral("b=2") + br;
    const QList<IniFileReader::Section> sections = IniFileReader::parse(text);
    ASSERT_EQ(sections.size(), 1) << br.toStdString();
    EXPECT_EQ(sections[0].parameters, (Parameters{{QStringLiteral("a"), QStringLiteral("1")},
                                                  {QStringLiteral("b"), QStringLiteral("2")}}));
  }
}

TEST(IniFileReader, OddTextGivesAClearResult) {
  EXPECT_TRUE(IniFileReader::parse(QString()).isEmpty());
  EXPECT_TRUE(IniFileReader::parse(QStringLiteral("\n\r\n  \t\n")).isEmpty());
  const QString longValue(1 << 20, u'v');
  const QList<IniFileReader::Section> sections =
      IniFileReader::parse(QStringLiteral("[S]\nk=") + longValue + QStringLiteral("\n\0=\0\n"));
  ASSERT_EQ(sections.size(), 1);
  EXPECT_EQ(sections[0].parameters.value(QStringLiteral("k")), longValue);
}

TEST(IniFileReader, IntValueIsStrictlyDecimal) {
  const std::pair<const char*, std::optional<int64_t>> cases[] = {
      {"2", 2},
      {"-7", -7},
      {"+5", 5},
      {"0012", 12},
      {"9223372036854775807", INT64_MAX},
      {"-9223372036854775808", INT64_MIN},
      {"9223372036854775808", std::nullopt},
      {"", std::nullopt},
      {" 2", std::nullopt},
      {"2 ", std::nullopt},
      {"0x10", std::nullopt},
      {"1e3", std::nullopt},
      {"-", std::nullopt},
      {"\u0662", std::nullopt},  // an Arabic-Indic digit
  };
  for (const auto& [value, expected] : cases) {
    const IniFileReader::Section section{QString(),
                                         {{QStringLiteral("k"), QString::fromUtf8(value)}}};
    EXPECT_EQ(section.intValue(QStringLiteral("k")), expected) << value;
  }
  EXPECT_EQ(IniFileReader::Section().intValue(QStringLiteral("k")), std::nullopt);
}

TEST(IniFileReader, HexValueTakesOneLowerCaseZeroXPrefix) {
  const std::pair<const char*, std::optional<uint64_t>> cases[] = {
      {"0x00040000", 0x40000},
      {"1C0000", 0x1C0000},
      {"1c0000", 0x1C0000},
      {"0", 0},
      {"ffffffffffffffff", UINT64_MAX},
      {"10000000000000000", std::nullopt},
      {"0X40000", std::nullopt},
      {"0x", std::nullopt},
      {"0x0x5", std::nullopt},
      {"", std::nullopt},
      {"-1", std::nullopt},
      {"12g", std::nullopt},
      {" 12", std::nullopt},
  };
  for (const auto& [value, expected] : cases) {
    const IniFileReader::Section section{QString(),
                                         {{QStringLiteral("k"), QString::fromUtf8(value)}}};
    EXPECT_EQ(section.hexValue(QStringLiteral("k")), expected) << value;
  }
}

}  // namespace
