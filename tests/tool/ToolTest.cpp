// tarnwell-tool as a script or a support engineer runs it: a separate process, with the
// user's language and the settings folder taken from its environment.
#include "tests/support/ToolProcess.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

namespace {

TEST(ToolStrings, FollowsTheUserLanguage) {
  const std::pair<const char*, const char*> cases[] = {
      {"LANGUAGE=ja", "ID_CANCEL=キャンセル\n"},  {"LANG=de_DE.UTF-8", "ID_CANCEL=Abbrechen\n"},
      {"LC_ALL=ko_KR.UTF-8", "ID_CANCEL=취소\n"}, {"LANGUAGE=zh_TW:en", "ID_CANCEL=取消\n"},
      {"LANG=C", "ID_CANCEL=Cancel\n"},           {"LANGUAGE=nl", "ID_CANCEL=Cancel\n"},
  };
  for (const auto& [environment, expected] : cases) {
    const ToolRun run = runTool({QStringLiteral("strings"), QStringLiteral("ID_CANCEL")},
                                {QString::fromUtf8(environment)});
    EXPECT_EQ(run.status, 0) << environment;
    EXPECT_EQ(run.out, QString::fromUtf8(expected)) << environment;
  }
}

TEST(ToolStrings, AKoreanUserOfATableWithoutKoreanGetsColumnTwo) {
  QTemporaryDir dir;
  const QString table = dir.filePath(QStringLiteral("Localizable.olc"));
  QFile file(table);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.write(
      "Key\tComment\r\nKEY\tCMT\tJPN\tENU\r\nID_YES\tyes\t\xe3\x81\xaf\xe3\x81\x84\tYes\r\n");
  file.close();
  const ToolRun run =
      runTool({QStringLiteral("strings"), QStringLiteral("--table"), table,
               QStringLiteral("ID_YES"), QStringLiteral("ID_MISSING"), QStringLiteral("ID_GONE")},
              {QStringLiteral("LANGUAGE=ko")});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, QStringLiteral("ID_YES=はい\nID_MISSING=_NG_1 (ID_MISSING)\n"
                                    "ID_GONE=_NG_2 (ID_GONE)\n"));
}

TEST(ToolStrings, WritesEachTextOnOneLineOrAsJson) {
  ToolRun run = runTool({QStringLiteral("strings"), QStringLiteral("ID_MSG_OPENING")});
  EXPECT_EQ(run.out.count(QLatin1Char('\n')), 1);
  EXPECT_TRUE(run.out.contains(QStringLiteral("\\n")));
  run = runTool({QStringLiteral("strings"), QStringLiteral("--json"), QStringLiteral("ID_OK")},
                {QStringLiteral("LANGUAGE=ja")});
  EXPECT_TRUE(run.out.contains(QStringLiteral("\"language\": \"JPN\""))) << run.out.toStdString();
}

TEST(ToolUsage, ExitStatusTellsSuccessFailureAndBadUsage) {
  const std::tuple<QStringList, int, const char*> cases[] = {
      {{QStringLiteral("--help")}, 0, ""},
      {{}, 2, ""},
      {{QStringLiteral("no-such-command")}, 2, "unknown command"},
      {{QStringLiteral("version-code")}, 2, "expected LABEL"},
      {{QStringLiteral("version-code"), QStringLiteral("Ver 1.2")}, 1, "not a version label"},
      {{QStringLiteral("is-lower"), QStringLiteral("2000"), QStringLiteral("1FFF")}, 0, ""},
      {{QStringLiteral("strings")}, 2, "expected"},
      {{QStringLiteral("strings"), QStringLiteral("--table"), QStringLiteral("/nonexistent"),
        QStringLiteral("ID_OK")},
       1,
       "no string table"},
  };
  for (const auto& [arguments, status, message] : cases) {
    const ToolRun run = runTool(arguments);
    EXPECT_EQ(run.status, status) << arguments.join(QLatin1Char(' ')).toStdString();
    EXPECT_TRUE(run.err.contains(QString::fromUtf8(message))) << run.err.toStdString();
    EXPECT_EQ(run.err.count(QLatin1Char('\n')), status == 0 ? 0 : 1);
  }
}

TEST(ToolSettings, ShowsEffectiveValuesFromTheSystemConfigFolder) {
  QTemporaryDir dir;
  ASSERT_TRUE(QDir(dir.path()).mkpath(QStringLiteral("Velmora")));
  QFile file(dir.filePath(QStringLiteral("Velmora/UseTestServer.plist")));
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.write(
      "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict>"
      "<key>dvr_update_enable_log</key><string>YES</string>"
      "<key>dvr_update_fwver</key><string>1.10</string></dict></plist>");
  file.close();
  const ToolRun run =
      runTool({QStringLiteral("settings")}, {QStringLiteral("XDG_CONFIG_DIRS=") + dir.path()});
  EXPECT_TRUE(run.out.contains(QStringLiteral("\ndvr_update_enable_log=false\n")));
  EXPECT_TRUE(run.out.contains(QStringLiteral("\ndvr_update_fwver=1.10\n")));
  EXPECT_TRUE(run.out.contains(QStringLiteral("\ndvr_update_server=<absent>\n")));
}

TEST(ToolLaunchOptions, ShowsTheRolesReplaced) {
  const ToolRun run =
      runTool({QStringLiteral("launch-options"), QStringLiteral("--mock_device_fail"),
               QStringLiteral("--mock_devices=/d.plist"), QStringLiteral("--mock_device_diskfull"),
               QStringLiteral("--instance_count=x")});
  EXPECT_EQ(run.out,
            QStringLiteral("deviceDetector=AudioDeviceDetectorMock file=/d.plist interval=1.0\n"
                           "deviceInterface=AudioDeviceInterfaceMock mockFailure=false "
                           "mockDiskFullError=true\n"));
}

}  // namespace
