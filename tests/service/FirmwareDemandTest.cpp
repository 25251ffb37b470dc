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

using namespace Qt::StringLiterals;

namespace {

const QString kDataDir = QStringLiteral(TARNWELL_TEST_DATA_DIR "/service/");

QByteArray readData(const QString& name) {
  QFile file(kDataDir + name);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QByteArray demand(const QString& modelCode, const QString& firmwareVersion,
                  const QString& appVersion = u"00001020"_s) {
  const FirmwareDemand request(appVersion);
  const auto root = request.makeDemandNode(u"ENU"_s, u"0049"_s, modelCode, firmwareVersion,
                                           QDateTime(QDate(2024, 1, 31), QTime(23, 5, 9)));
  return KvoIBProtocolEncoder().xmlDataWithRootNode(*root);
}

QByteArray answerWith(const QByteArray& info) {
  return "<firmware_result><firmwares><firmware_info>" + info +
         "</firmware_info></firmwares></firmware_result>";
}

TEST(FirmwareDemandTest, RequestDocumentIsByteExact) {
  EXPECT_EQ(demand(u"0007"_s, u"1230"_s),
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

TEST(FirmwareDemandTest, ApplicationVersionCode) {
  const std::pair<QVariant, QString> cases[] = {
      {u"1.0.2"_s, u"00001020"_s}, {u"1.2.3"_s, u"00001230"_s},     {u"2.10"_s, u"00002000"_s},
      {u"3"_s, u"00003000"_s},     {u"1.2.3.4.5"_s, u"00001234"_s}, {u"+1..-2.x"_s, u"00001000"_s},
      {u""_s, u"00000000"_s},      {QVariant(12), u"00000000"_s},   {QVariant(), u"00000000"_s},
  };
  for (const auto& [value, code] : cases) {
    EXPECT_EQ(applicationVersionCode(value), code) << value.toString().toStdString();
  }
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
  const QString table = dir.filePath(u"Locales.plist"_s);
  QFile file(table);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.write(
      PropertyList::toXml(QVariantMap{{u"DE"_s, u"0049"_s}, {u"US"_s, u"0001"_s}, {u"JP"_s, 81}}));
  file.close();
  const std::pair<const char*, const char*> cases[] = {
      {"de_DE", "0049"}, {"de_DEU", "0049"}, {"fr_FR", "0001"}, {"de", "0001"},
      {"C", "0001"},     {"ja_JP", "0001"},  {"", "0001"},
  };
  for (const auto& [locale, code] : cases) {
    EXPECT_EQ(CountryCode::countryCode(QString::fromLatin1(locale), table), QLatin1String(code))
        << locale;
  }
  EXPECT_EQ(CountryCode::countryCode(u"de_DE"_s, dir.filePath(u"none"_s)), u"0001"_s);
  EXPECT_EQ(CountryCode::countryCode(u"de_DE"_s, QString()), u"0001"_s);
}

TEST(FirmwareDemandTest, ReadsTheFirstOfferOfTheServersAnswer) {
  const auto parse = [](const QByteArray& answer) {
    return FirmwareDemand(QString()).parseFirmwareResult(answer);
  };
  FirmwareInfo unparsed;  // what the tables below see of an answer that was not read
  unparsed.version = u"(unparsed)"_s;
  unparsed.fileSize = -1;
  const QByteArray good = readData(u"answer.xml"_s);
  const auto info = parse(good);
  // The first fields, in order, are checked through tarnwell-tool parse-answer.
  ASSERT_TRUE(info);
  EXPECT_EQ(info->fileURL, u"https://firmware.updates.velmora.example/pkg/DR410_1231.zip"_s);
  EXPECT_EQ(info->updateDate, u"20240131 10:00:00"_s);
  EXPECT_EQ(info->comment, u"Faster start-up.\nFixes the clock."_s);
  EXPECT_EQ(info->detailURL, u"https://app.updates.velmora.example/notes/1231"_s);
  EXPECT_EQ(info->extensionComment, QString());
  QByteArray twoOffers = good;
  twoOffers.replace("</firmware_info>", "</firmware_info><firmware_info/>");
  EXPECT_EQ(parse(twoOffers), info);
  EXPECT_EQ(parse(answerWith("")), FirmwareInfo());

  const std::pair<QByteArray, QString> versions[] = {
      {"1230", u"1230"_s}, {"001230", u"1230"_s}, {"12", u"12"_s}, {"", QString()}};
  for (const auto& [text, version] : versions) {
    EXPECT_EQ(parse(answerWith("<version>" + text + "</version>")).value_or(unparsed).version,
              version)
        << text.toStdString();
  }
  const std::pair<QByteArray, int64_t> sizes[] = {
      {"1048576", 1048576}, {" 1048576", 0}, {"1,048,576", 0}, {"", 0},
      {"abc", 0},           {"-5", -5},      {"+7", 7},        {"9223372036854775808", 0}};
  for (const auto& [text, size] : sizes) {
    EXPECT_EQ(parse(answerWith("<file_size>" + text + "</file_size>")).value_or(unparsed).fileSize,
              size)
        << text.toStdString();
  }

  // Documents the decoder refuses are its own table's; these are answers of the wrong shape.
  QByteArray otherRoot = good;
  otherRoot.replace("firmware_result", "firmware_resulx");
  for (const QByteArray& answer :
       {QByteArray(), otherRoot, QByteArray("<firmware_result/>"),
        QByteArray("<firmware_result><firmwares/></firmware_result>"),
        QByteArray("<firmware_result><firmware_info/></firmware_result>")}) {
    EXPECT_FALSE(parse(answer)) << answer.toStdString();
  }
}

}  // namespace
