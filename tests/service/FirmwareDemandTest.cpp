#include "app/service/ApplicationVersionCode.h"
#include "app/service/CountryCode.h"
#include "app/service/FirmwareDemand.h"
#include "app/service/KvoIBProtocolEncoder.h"
#include "app/service/LanguageCode.h"
#include "platform/PropertyList.h"
#include "tests/support/QStringPrinter.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

namespace {

const QString kDataDir = QStringLiteral(TARNWELL_TEST_DATA_DIR "/service/");

QByteArray readData(const QString& name) {
  QFile file(kDataDir + name);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QByteArray demand(const QString& modelCode, const QString& firmwareVersion,
                  const QString& appVersion = QStringLiteral("00001020")) {
  const FirmwareDemand request(appVersion);
  const auto root =
      request.makeDemandNode(QStringLiteral("ENU"), QStringLiteral("0049"), modelCode,
                             firmwareVersion, QDateTime(QDate(2024, 1, 31), QTime(23, 5, 9)));
  return KvoIBProtocolEncoder().xmlDataWithRootNode(*root);
}

QByteArray answerWith(const QByteArray& info) {
  return "<firmware_result><firmwares><firmware_info>" + info +
         "</firmware_info></firmwares></firmware_result>";
}

TEST(FirmwareDemandTest, RequestDocumentIsByteExact) {
  EXPECT_EQ(demand(QStringLiteral("0007"), QStringLiteral("1230")),
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
            "<firmware_demand>\n"
            "\t<revision>0001</revision>\n"
            "\t<mac_address>00-00-00-00-00-00</mac_address>\n"
            "\t<time>20240131230509</time>\n"
            "\t<language>ENU</language>\n"
            "\t<application>FWUT</application>\n"
            "\t<type>0000</type>\n"
            "\t<version>00001020</version>\n"
            "\t<os>MAC</os>\n"
            "\t<country_code>0049</country_code>\n"
            "\t<hardwares>\n"
            "\t\t<firmup_mode>1</firmup_mode>\n"
            "\t\t<hardware_info>\n"
            "\t\t\t<hard_code>KVOE000700000000</hard_code>\n"
            "\t\t\t<firmware_version>00001230</firmware_version>\n"
            "\t\t\t<serial_no>000000000</serial_no>\n"
            "\t\t</hardware_info>\n"
            "\t</hardwares>\n"
            "</firmware_demand>\n");
}

TEST(FirmwareDemandTest, ModelCodeAndFirmwareVersionAsGiven) {
  struct Case {
    QString modelCode, firmwareVersion;
    QByteArray hardCode, firmwareLine;
  };
  const Case cases[] = {
      {QStringLiteral("12345"), QStringLiteral("1230"), "<hard_code>KVOE1234500000000</hard_code>",
       "<firmware_version>00001230</firmware_version>"},
      {QStringLiteral("0012"), QStringLiteral("12300"), "<hard_code>KVOE001200000000</hard_code>",
       "<firmware_version>12300</firmware_version>"},
      {QStringLiteral("0012"), QString(), "<hard_code>KVOE001200000000</hard_code>",
       "<firmware_version />"},
  };
  for (const Case& c : cases) {
    const QByteArray document = demand(c.modelCode, c.firmwareVersion);
    EXPECT_TRUE(document.contains(c.hardCode)) << document.toStdString();
    EXPECT_TRUE(document.contains(c.firmwareLine)) << document.toStdString();
  }
}

TEST(FirmwareDemandTest, ApplicationVersionCode) {
  const std::pair<QVariant, QString> cases[] = {
      {QStringLiteral("1.0.2"), QStringLiteral("00001020")},
      {QStringLiteral("1.2.3"), QStringLiteral("00001230")},
      {QStringLiteral("2.10"), QStringLiteral("00002000")},
      {QStringLiteral("3"), QStringLiteral("00003000")},
      {QStringLiteral("1.2.3.4.5"), QStringLiteral("00001234")},
      {QStringLiteral("+1..-2.x"), QStringLiteral("00001000")},
      {QStringLiteral(""), QStringLiteral("00000000")},
      {QVariant(12), QStringLiteral("00000000")},
      {QVariant(), QStringLiteral("00000000")},
  };
  for (const auto& [value, code] : cases) {
    EXPECT_EQ(applicationVersionCode(value), code) << value.toString().toStdString();
  }
  EXPECT_EQ(applicationVersionCode().size(), 8);
}

TEST(FirmwareDemandTest, LanguageCodes) {
  const std::pair<const char*, const char*> cases[] = {
      {"ja", "JPN"}, {"en", "ENU"},    {"fr", "FRA"}, {"de", "DEU"},    {"es", "ESP"},
      {"it", "ITA"}, {"ru", "RUS"},    {"ko", "KOR"}, {"zh_CN", "CHS"}, {"zh_TW", "CHT"},
      {"pt", "ENU"}, {"zh-TW", "ENU"}, {"", "ENU"},
  };
  for (const auto& [localization, code] : cases) {
    EXPECT_EQ(LanguageCode::text(
                  LanguageCode::languageCodeForLocalization(QString::fromLatin1(localization))),
              QLatin1String(code))
        << localization;
  }
}

TEST(FirmwareDemandTest, CountryCodesFromTheRegionTable) {
  QTemporaryDir dir;
  const QString table = dir.filePath(QStringLiteral("Locales.plist"));
  QFile file(table);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.write(PropertyList::toXml(QVariantMap{{QStringLiteral("DE"), QStringLiteral("0049")},
                                             {QStringLiteral("US"), QStringLiteral("0001")},
                                             {QStringLiteral("JP"), 81}}));
  file.close();
  const std::pair<const char*, const char*> cases[] = {
      {"de_DE", "0049"}, {"de_DEU", "0049"}, {"fr_FR", "0001"}, {"de", "0001"},
      {"C", "0001"},     {"ja_JP", "0001"},  {"", "0001"},
  };
  for (const auto& [locale, code] : cases) {
    EXPECT_EQ(CountryCode::countryCode(QString::fromLatin1(locale), table), QLatin1String(code))
        << locale;
  }
  EXPECT_EQ(CountryCode::countryCode(QStringLiteral("de_DE"), dir.filePath(QStringLiteral("none"))),
            QStringLiteral("0001"));
  EXPECT_EQ(CountryCode::countryCode(QStringLiteral("de_DE"), QString()), QStringLiteral("0001"));
  // The shipped table knows Germany.
  EXPECT_EQ(
      CountryCode::countryCode(QStringLiteral("de_DE"),
                               QStringLiteral(TARNWELL_SOURCE_DIR "/resources/Locales.plist")),
      QStringLiteral("0049"));
}

TEST(FirmwareDemandTest, ReadsTheServersAnswer) {
  const auto info =
      FirmwareDemand(QString()).parseFirmwareResult(readData(QStringLiteral("answer.xml")));
  // The first fields, in order, are checked through tarnwell-tool parse-answer.
  ASSERT_TRUE(info);
  EXPECT_EQ(info->fileURL,
            QStringLiteral("https://firmware.updates.velmora.example/pkg/DR410_1231.zip"));
  EXPECT_EQ(info->updateDate, QStringLiteral("20240131 10:00:00"));
  EXPECT_EQ(info->comment, QStringLiteral("Faster start-up.\nFixes the clock."));
  EXPECT_EQ(info->detailURL, QStringLiteral("https://app.updates.velmora.example/notes/1231"));
  EXPECT_EQ(info->extensionComment, QString());
}

TEST(FirmwareDemandTest, VersionAndFileSizeOfTheAnswer) {
  const std::pair<QByteArray, QString> versions[] = {{"1230", QStringLiteral("1230")},
                                                     {"001230", QStringLiteral("1230")},
                                                     {"12", QStringLiteral("12")},
                                                     {"", QString()}};
  for (const auto& [text, version] : versions) {
    const auto info = FirmwareDemand(QString()).parseFirmwareResult(
        answerWith("<version>" + text + "</version>"));
    ASSERT_TRUE(info);
    EXPECT_EQ(info->version, version) << text.toStdString();
  }
  const std::pair<QByteArray, int64_t> sizes[] = {
      {"1048576", 1048576}, {" 1048576", 0}, {"1,048,576", 0}, {"", 0},
      {"abc", 0},           {"-5", -5},      {"+7", 7},        {"9223372036854775808", 0}};
  for (const auto& [text, size] : sizes) {
    const auto info = FirmwareDemand(QString()).parseFirmwareResult(
        answerWith("<file_size>" + text + "</file_size>"));
    ASSERT_TRUE(info);
    EXPECT_EQ(info->fileSize, size) << text.toStdString();
  }
  const auto empty = FirmwareDemand(QString()).parseFirmwareResult(answerWith(""));
  ASSERT_TRUE(empty);
  EXPECT_EQ(*empty, FirmwareInfo());
}

TEST(FirmwareDemandTest, UnusableAnswersGiveNoFirmware) {
  const QByteArray good = readData(QStringLiteral("answer.xml"));
  QByteArray otherRoot = good;
  otherRoot.replace("firmware_result", "firmware_resulx");
  const QByteArray cases[] = {
      QByteArray(),
      good.left(good.size() / 2),
      otherRoot,
      "<firmware_result/>",
      "<firmware_result><firmwares/></firmware_result>",
      "<firmware_result><firmware_info/></firmware_result>",
      R"(<?xml version="1.0"?><!DOCTYPE firmware_result [<!ENTITY a "aaaa">]>)" +
          answerWith("<version>&a;</version>"),
      "\xff\xfe<",
  };
  for (const QByteArray& answer : cases) {
    EXPECT_FALSE(FirmwareDemand(QString()).parseFirmwareResult(answer)) << answer.toStdString();
  }
}

TEST(FirmwareDemandTest, OnlyTheFirstOfSeveralOffersIsRead) {
  const QByteArray good = readData(QStringLiteral("answer.xml"));
  QByteArray twoOffers = good;
  twoOffers.replace("</firmware_info>", "</firmware_info><firmware_info/>");
  EXPECT_EQ(FirmwareDemand(QString()).parseFirmwareResult(twoOffers),
            FirmwareDemand(QString()).parseFirmwareResult(good));
}

TEST(FirmwareInfoTest, KeyedFormFromPropertyLists) {
  for (const char* name : {"firmware-info.plist", "firmware-info.bplist"}) {
    const auto value = PropertyList::readFile(kDataDir + QLatin1String(name));
    ASSERT_TRUE(value) << name;
    const auto info = FirmwareInfo::fromKeyedArchive(*value);
    ASSERT_TRUE(info) << name;
    EXPECT_EQ(info->version, QStringLiteral("1231"));
    EXPECT_EQ(info->fileSize, 1048576);
    EXPECT_EQ(info->fileURL, QStringLiteral("file:///tmp/DR410_1231.zip"));
    EXPECT_EQ(FirmwareInfo::fromKeyedArchive(
                  *PropertyList::fromData(PropertyList::toXml(info->keyedArchive()))),
              info);
  }
  const auto missing =
      PropertyList::readFile(kDataDir + QStringLiteral("firmware-info-missing-key.plist"));
  ASSERT_TRUE(missing);
  EXPECT_FALSE(FirmwareInfo::fromKeyedArchive(*missing));
  QVariantMap wrongType = FirmwareInfo().keyedArchive();
  wrongType.insert(QStringLiteral("fileSize"), QStringLiteral("12"));
  EXPECT_FALSE(FirmwareInfo::fromKeyedArchive(wrongType));
  EXPECT_FALSE(FirmwareInfo::fromKeyedArchive(QVariantList()));
}

}  // namespace
