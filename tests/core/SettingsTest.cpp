#include "app/core/Settings.h"

#include "platform/PropertyList.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

namespace {

class SettingsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.isValid());
    savedDirs_ = qgetenv("XDG_CONFIG_DIRS");
    qputenv("XDG_CONFIG_DIRS", (dir_.path() + QStringLiteral(":/etc/xdg")).toUtf8());
    QDir(dir_.path()).mkdir(QStringLiteral("Velmora"));
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
  EXPECT_EQ(Settings::filePath(), dir_.path() + QStringLiteral("/Velmora/UseTestServer.plist"));
  qputenv("XDG_CONFIG_DIRS", ":");
  EXPECT_EQ(Settings::filePath(), QStringLiteral("/etc/xdg/Velmora/UseTestServer.plist"));
}

TEST_F(SettingsTest, ReadsEveryKeyOfTheRightTypeAndExpandsTheHomeFolder) {
  write(PropertyList::toXml(QVariantMap{
      {QStringLiteral("dvr_update_enable_log"), true},
      {QStringLiteral("dvr_update_server"), QStringLiteral("https://updates.example.test/")},
      {QStringLiteral("dvr_update_model_id"), QStringLiteral("4110")},
      {QStringLiteral("dvr_update_fwver"), QStringLiteral("1.00")},
      {QStringLiteral("dvr_update_localmode_data_dir"), QStringLiteral("~/canned")},
      {QStringLiteral("dvr_update_check_url"), QStringLiteral("https://app.example.test/c")},
      {QStringLiteral("dvr_update_ca_file"), QStringLiteral("~/ca.pem")}}));
  const Settings settings = Settings::read();
  EXPECT_EQ(settings.enableLog(), true);
  EXPECT_EQ(settings.server(), QStringLiteral("https://updates.example.test/"));
  EXPECT_EQ(settings.modelID(), QStringLiteral("4110"));
  EXPECT_EQ(settings.firmwareVersion(), QStringLiteral("1.00"));
  EXPECT_EQ(settings.localModeDataDir(), QDir::homePath() + QStringLiteral("/canned"));
  EXPECT_EQ(settings.checkURL(), QStringLiteral("https://app.example.test/c"));
  EXPECT_EQ(settings.caFile(), QDir::homePath() + QStringLiteral("/ca.pem"));
}

TEST_F(SettingsTest, WrongTypesCountAsAbsent) {
  write(PropertyList::toXml(
      QVariantMap{{QStringLiteral("dvr_update_enable_log"), QStringLiteral("YES")},
                  {QStringLiteral("dvr_update_model_id"), 4110},
                  {QStringLiteral("dvr_update_check_url"), 1},
                  {QStringLiteral("dvr_update_ca_file"), true}}));
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
