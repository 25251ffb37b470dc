#include "app/localize/CMLocalize.h"

#include "tests/support/QStringPrinter.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <string_view>

using namespace Qt::StringLiterals;

using namespace std::string_view_literals;

class CMLocalizeTestPeer final {
 public:
  static std::optional<QHash<QString, QString>> dictionary(const CMLocalize& localize) {
    return localize.localizeDictionary_;
  }
};

namespace {

using Dictionary = QHash<QString, QString>;

class CMLocalizeFileTest : public ::testing::Test {
 protected:
  QString write(std::string_view bytes) {
    QString path = dir_.filePath(u"table.olc"_s);
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(bytes.data(), static_cast<qint64>(bytes.size()));
    return path;
  }

  std::unique_ptr<CMLocalize> load(std::string_view bytes, const QString& language = u"en"_s) {
    auto localize = std::make_unique<CMLocalize>(QStringList{language});
    localize->setLocalizeCSVFile(write(bytes));
    return localize;
  }

  QTemporaryDir dir_;
};

constexpr std::string_view kLookupTable =
    "header\r\n"
    "KEY\tENU\r\n"
    "Save\tSave\r\n"
    "Name\tName\r\n"
    "Wait\tPlease wait\r\n"
    "Colon:\tWith colon\r\n"
    "Dots...\tWith dots\r\n"
    ":\tLone colon\r\n"
    "MAC_APP_NAME\tOther\r\n"
    "Lines\ta\\nb\r\n"
    "Order\ta\\\\nb\r\n"
    "Quote\tsay \\\"hi\\\"\r\n"
    "Slashes\t\\\\\"\r\n"
    "Amp\tR&&D\r\n"
    "Fmt\t%s of %s (%d%%)\r\n";

TEST(CMLocalizeTest, LanguageIDIsThatOfTheFirstKnownCandidate) {
  const std::pair<const char*, const char*> cases[] = {
      {"", "ENU"},   {"Japanese", "JPN"}, {"zh_TW", "CHT"}, {"zh-Hans", "CHS"},
      {"ru", "RUS"}, {"pt,es,fr", "ESP"}, {"it,ja", "ITA"}, {"JA,zh,zh-TW,en-GB", "ENU"},
  };
  for (const auto& [names, expected] : cases) {
    const QStringList candidates = QString::fromLatin1(names).split(u',', Qt::SkipEmptyParts);
    EXPECT_EQ(CMLocalize(candidates).getCurrentLanguageID(), QLatin1String(expected)) << names;
  }
}

TEST_F(CMLocalizeFileTest, ParsesFieldsAndLinesByteByByte) {
  const auto kv = [](const char* key, const char* text) {
    return std::pair{QString::fromUtf8(key), QString::fromUtf8(text)};
  };
  const struct {
    const char* what;
    std::string_view body;  // follows "h1\th1\r\nKEY\tENU\r\n"
    Dictionary expected;
  } cases[] = {
      {"plain lines", "A\ta\r\nB\tb\r\n"sv, {kv("A", "a"), kv("B", "b")}},
      {"last line without CR LF", "A\ta\r\nB\tb"sv, {kv("A", "a"), kv("B", "b")}},
      {"trailing lone CR", "A\ta\r"sv, {kv("A", "a")}},
      {"lone CR ends a field", "A\rx\ty\r\n"sv, {kv("A", "x")}},
      {"lone LF is text", "A\ta\nb\r\nB\nC\tc"sv, {kv("A", "a\nb"), kv("B\nC", "c")}},
      {"NUL cuts the key", "A\0junk\ta\r\n"sv, {kv("A", "a")}},
      {"invalid key skipped", "\xFF\tx\r\nB\tb\r\n"sv, {kv("B", "b")}},
      {"invalid text empty", "A\t\xC3\r\n"sv, {kv("A", "")}},
      {"later duplicate wins", "A\t1\r\nA\t2\r\n"sv, {kv("A", "2")}},
      {"short and empty lines", "A\r\n\r\nB\tb\r\nC\t\r\n"sv, {kv("B", "b"), kv("C", "")}},
      {"UTF-8 text", "\xE9\x8D\xB5\t\xE5\x80\xA4\tz"sv, {kv("\xE9\x8D\xB5", "\xE5\x80\xA4")}},
  };
  for (const auto& c : cases) {
    std::string bytes = "h1\th1\r\nKEY\tENU\r\n";
    bytes += c.body;
    Dictionary expected = c.expected;
    expected.insert(u"KEY"_s, u"ENU"_s);
    EXPECT_EQ(CMLocalizeTestPeer::dictionary(*load(bytes)), expected) << c.what;
  }
}

TEST_F(CMLocalizeFileTest, LookupRules) {
  const struct {
    QString key;
    QString expected;
  } cases[] = {
      {u"Save"_s, u"Save"_s},
      {u"_Save"_s, u"_Save"_s},
      {u"MAC_APP_NAME"_s, u"Tarnwell"_s},
      {u"IDGZ_QX2_KORVANE_STUDIO"_s, u"Tarnwell"_s},
      {u"..."_s, u"..."_s},
      {QString(), QString()},
      {u"Name:"_s, u"Name :"_s},
      {u"Wait..."_s, u"Please wait..."_s},
      {u":"_s, u"Lone colon"_s},
      // A ":" or "..." key looks up only its stem; the full key is never tried.
      {u"Colon:"_s, u"_NG_0 (Colon:)"_s},
      {u"Dots..."_s, u"_NG_0 (Dots...)"_s},
      {u"Wait...:"_s, u"_NG_0 (Wait...:)"_s},
      {u"Missing"_s, u"_NG_0 (Missing)"_s},
      // Unescaping runs in order: \n, then \\, then \", then &&.
      {u"Lines"_s, u"a\nb"_s},
      {u"Order"_s, u"a\\\nb"_s},
      {u"Quote"_s, u"say \"hi\""_s},
      {u"Slashes"_s, u"\""_s},
      {u"Amp"_s, u"R&D"_s},
      {u"x\\ny&&"_s, u"_NG_0 (x\ny&)"_s},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(load(kLookupTable)->getLocalizedString(c.key), c.expected) << c.key.toStdString();
  }
}

TEST_F(CMLocalizeFileTest, ReplaceEscapeTurnsPercentSIntoAFormatForStrings) {
  const QString format = load(kLookupTable)->getLocalizedStringWithReplaceEscape(u"Fmt"_s);
  EXPECT_EQ(format, u"%@ of %@ (%d%%)"_s);
  EXPECT_EQ(CMLocalize::formatWithStrings(format, {u"1"_s, u"%@"_s}), u"1 of %@ (%d%)"_s);

  const struct {
    QString format;
    QStringList args;
    QString expected;
  } cases[] = {
      {u"About %@"_s, {u"Tarnwell"_s}, u"About Tarnwell"_s},
      {u"%@%@"_s, {u"a"_s}, u"a"_s},
      {u"%%@ %@"_s, {u"x"_s}, u"%@ x"_s},
      {u"100%"_s, {}, u"100%"_s},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(CMLocalize::formatWithStrings(c.format, c.args), c.expected)
        << c.format.toStdString();
  }
}

TEST_F(CMLocalizeFileTest, WithoutASharedInstanceEveryTextIsEmpty) {
  CMLocalize::initializeSharedWithFilePath(write("h\r\nKEY\tENU\r\nSave\tKeep\r\n"));
  EXPECT_EQ(CMLocalize::localizedString(u"Save"_s), u"Keep"_s);
  // The bundle gives an empty path when its string table is missing.
  CMLocalize::initializeSharedWithFilePath(QString());
  EXPECT_EQ(CMLocalize::shared(), nullptr);
  EXPECT_EQ(CMLocalize::localizedString(u"Save"_s), QString());
}

TEST(CMLocalizeShippedTableTest, HoldsOKAndOneNumberInTheCommunicationError) {
  const QString path = QStringLiteral(TARNWELL_SOURCE_DIR "/resources/Localizable.olc");
  ASSERT_TRUE(QFileInfo(path).isFile());
  for (const char* language :
       {"en", "ja", "de", "fr", "it", "es", "zh-Hant", "zh-Hans", "ko", "ru"}) {
    CMLocalize localize(QStringList{QString::fromLatin1(language)});
    localize.setLocalizeCSVFile(path);
    const QString ok = localize.getLocalizedString(u"ID_OK"_s);
    EXPECT_FALSE(ok.isEmpty()) << language;
    EXPECT_TRUE(CMLocalize::isCorrectLocalizedString(ok)) << language;
    const QString text = localize.getLocalizedString(u"ID_ERR_CAMERA_COMMUNICATION"_s);
    EXPECT_EQ(text.count(u"%d"_s), 1) << language << ": " << text.toStdString();
  }
}

}  // namespace
