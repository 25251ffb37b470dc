#include "app/localize/CMLocalize.h"

#include "tests/support/QStringPrinter.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <future>
#include <string_view>
#include <thread>

using namespace Qt::StringLiterals;

using namespace std::string_view_literals;

class CMLocalizeTestPeer final {
 public:
  static TimedMutex& lock(CMLocalize& localize) { return localize.lock_; }
  static void setNGCount(CMLocalize& localize, std::uint64_t count) { localize.ngCount_ = count; }
  static std::optional<QHash<QString, QString>> dictionary(const CMLocalize& localize) {
    return localize.localizeDictionary_;
  }
};

namespace {

using Dictionary = QHash<QString, QString>;

class CMLocalizeFileTest : public ::testing::Test {
 protected:
  QString write(std::string_view bytes, const QString& name = u"table.olc"_s) {
    QString path = dir_.filePath(name);
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

TEST_F(CMLocalizeFileTest, ColumnIsTheNumberOfTabsBeforeTheMatchingLineTwoField) {
  const QString table = write("h\r\nKEY\tENU\tJPN\r\nJPN\tx\tx\r\n");
  const QString noLineTwo = write("KEY\tENU\tJPN", u"one-line.olc"_s);
  const QString padded = write("h\r\nKEY\tJPN \tX\tENU\r\n", u"padded.olc"_s);
  const QString shifted = write("KEY\tENU\r\nh\r\nENU\tJPN", u"shifted.olc"_s);
  const struct {
    QString path;
    const char* languageID;
    int expected;
  } cases[] = {
      {table, "JPN", 2},  {table, "ENU", 1},     {table, "KEY", 0},
      {table, "KOR", 2},  {noLineTwo, "ENU", 2}, {padded, "ENU", 3},
      {padded, "JPN", 2}, {shifted, "ENU", 2},   {dir_.filePath(u"missing.olc"_s), "ENU", 2},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(CMLocalize::getCSVColumNO(c.path, QString::fromLatin1(c.languageID)), c.expected)
        << QFileInfo(c.path).fileName().toStdString() << " " << c.languageID;
  }
}

TEST_F(CMLocalizeFileTest, ReadsTheColumnOfTheUsersLanguage) {
  constexpr std::string_view bytes =
      "h\r\n"
      "KEY\tCMT\tENU\tJPN\tDEU\r\n"
      "ID_OK\tbutton\tOK\t\xE4\xBA\x86\xE8\xA7\xA3\tJa\r\n";
  const struct {
    const char* language;
    QString expected;
  } cases[] = {
      {"en", u"OK"_s},
      {"ja", QString::fromUtf16(u"\u4E86\u89E3")},
      {"de", u"Ja"_s},
      // No Korean column: column 2, which is English in the shipped layout.
      {"ko", u"OK"_s},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(load(bytes, QString::fromLatin1(c.language))->getLocalizedString(u"ID_OK"_s),
              c.expected)
        << c.language;
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

TEST_F(CMLocalizeFileTest, NoFileLeavesNoDictionaryAndEveryLookupMissing) {
  CMLocalize localize(QStringList{u"en"_s});
  localize.setLocalizeCSVFile(write("h\r\nKEY\tENU\r\nSave\tSave\r\n"));
  ASSERT_TRUE(CMLocalizeTestPeer::dictionary(localize).has_value());

  for (const std::optional<QString>& path :
       {std::optional<QString>(), std::optional<QString>(QString()),
        std::optional<QString>(dir_.filePath(u"missing.olc"_s)),
        std::optional<QString>(dir_.path())}) {
    localize.setLocalizeCSVFile(write("h\r\nKEY\tENU\r\nSave\tSave\r\n"));
    localize.setLocalizeCSVFile(path);
    EXPECT_FALSE(CMLocalizeTestPeer::dictionary(localize).has_value())
        << path.value_or(QString()).toStdString();
  }
  EXPECT_EQ(localize.getLocalizedString(u"Save"_s), u"_NG_0 (Save)"_s);
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

TEST_F(CMLocalizeFileTest, EveryLookupPastTheEmptyKeyTakesTheNextNGNumber) {
  const auto localize = load(kLookupTable);
  const auto look = [&localize](const char* key) {
    return localize->getLocalizedString(QString::fromLatin1(key));
  };
  EXPECT_EQ(look("A"), u"_NG_0 (A)"_s);
  EXPECT_EQ(look("Save"), u"Save"_s);
  EXPECT_EQ(look("B"), u"_NG_2 (B)"_s);
  for (const char* uncounted : {"", "...", "_x", "MAC_APP_NAME"}) {
    look(uncounted);
  }
  EXPECT_EQ(look("C"), u"_NG_3 (C)"_s);

  CMLocalizeTestPeer::setNGCount(*localize, 0xEFFFFFFF);
  EXPECT_EQ(look("D"), u"_NG_4026531839 (D)"_s);
  EXPECT_EQ(look("E"), u"_NG_0 (E)"_s);
}

TEST_F(CMLocalizeFileTest, LookupGivesNGWhenTheLockStaysHeldForThreeSeconds) {
  const auto localize = load(kLookupTable);
  std::promise<void> locked;
  std::promise<void> release;
  std::thread holder([&] {
    const std::lock_guard guard(CMLocalizeTestPeer::lock(*localize));
    locked.set_value();
    release.get_future().wait();
  });
  locked.get_future().wait();

  EXPECT_EQ(localize->getLocalizedString(u"_x"_s), u"_x"_s);
  EXPECT_EQ(localize->getLocalizedString(u"MAC_APP_NAME"_s), u"Tarnwell"_s);
  EXPECT_EQ(localize->getLocalizedString(u"Save"_s), u"NG"_s);

  release.set_value();
  holder.join();
  EXPECT_EQ(localize->getLocalizedString(u"Missing"_s), u"_NG_0 (Missing)"_s);
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
