#include "app/core/Settings.h"

#include "platform/PropertyList.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

using namespace Qt::StringLiterals;

namespace {

class SettingsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.isValid());
    savedDirs_ = qgetenv("XDG_CONFIG_DIRS");
    qputenv("XDG_CONFIG_DIRS", (dir_.path() + u":/etc/xdg"_s).toUtf8());
    QDir(dir_.path()).mkdir(u"Velmora"_s);
  }
  void TearDown() override { qputenv("XDG_CONFIG_DIRS", savedDirs_); }

  void write(const QByteArray& bytes) {
    QFile file(Settings::filePath());
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
  }

  QTemporaryDir dir_;
  QByteArray savedDirs_;
};

TEST_F(SettingsTest, FileLivesUnderTheFirstSystemConfigFolder) {
  EXPECT_EQ(Settings::filePath(), dir_.path() + u"/Velmora/UseTestServer.plist"_s);
  qputenv("XDG_CONFIG_DIRS", ":");
  EXPECT_EQ(Settings::filePath(), u"/etc/xdg/Velmora/UseTestServer.plist"_s);
}

TEST_F(SettingsTest, ReadsEveryKeyOfTheRightTypeAndExpandsTheHomeFolder) {
  write(
      PropertyList::toXml(QVariantMap{{u"dvr_update_enable_log"_s, true},
                                      {u"dvr_update_server"_s, u"https://updates.example.test/"_s},
                                      {u"dvr_update_model_id"_s, u"4110"_s},
                                      {u"dvr_update_fwver"_s, u"1.00"_s},
                                      {u"dvr_update_localmode_data_dir"_s, u"~/canned"_s},
                                      {u"dvr_update_check_url"_s, u"https://app.example.test/c"_s},
                                      {u"dvr_update_ca_file"_s, u"~/ca.pem"_s}}));
  const Settings settings = Settings::read();
  EXPECT_EQ(settings.enableLog(), true);
  EXPECT_EQ(settings.server(), u"https://updates.example.test/"_s);
  EXPECT_EQ(settings.modelID(), u"4110"_s);
  EXPECT_EQ(settings.firmwareVersion(), u"1.00"_s);
  EXPECT_EQ(settings.localModeDataDir(), QDir::homePath() + u"/canned"_s);
  EXPECT_EQ(settings.checkURL(), u"https://app.example.test/c"_s);
  EXPECT_EQ(settings.caFile(), QDir::homePath() + u"/ca.pem"_s);
}

TEST_F(SettingsTest, WrongTypesCountAsAbsent) {
  write(PropertyList::toXml(QVariantMap{{u"dvr_update_enable_log"_s, u"YES"_s},
                                        {u"dvr_update_model_id"_s, 4110},
                                        {u"dvr_update_check_url"_s, 1},
                                        {u"dvr_update_ca_file"_s, true}}));
  const Settings settings = Settings::read();
  EXPECT_FALSE(settings.isEmpty());
  EXPECT_EQ(settings.enableLog(), std::nullopt);
  EXPECT_EQ(settings.modelID(), std::nullopt);
  EXPECT_EQ(settings.checkURL(), std::nullopt);
  EXPECT_EQ(settings.caFile(), std::nullopt);
}

TEST_F(SettingsTest, MissingOrMalformedFilesGiveNoSettings) {
  EXPECT_TRUE(Settings::read().isEmpty());
  for (const QByteArray& bytes :
       {QByteArray("not a property list"), QByteArray(), PropertyList::toXml(QVariantList{1, 2}),
        QByteArray("<?xml version=\"1.0\"?><plist><dict><key>a</key></dict></plist>")}) {
    write(bytes);
    EXPECT_TRUE(Settings::read().isEmpty()) << bytes.constData();
  }
}

}  // namespace
