// The service commands of tarnwell-tool, run as a separate process against the local server.
#include "platform/PropertyList.h"
#include "tests/support/TestHttpsServer.h"
#include "tests/support/ToolProcess.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

namespace {

class ServiceToolTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(settings_.isValid());
    QDir(settings_.path()).mkdir(QStringLiteral("Velmora"));
  }

  ToolRun run(const QStringList& arguments, const QStringList& environment = {}) const {
    return runTool(arguments, QStringList{QStringLiteral("XDG_CONFIG_DIRS=") + settings_.path()} +
                                  environment);
  }

  void writeSettings(const QVariantMap& values) const {
    QFile file(settings_.filePath(QStringLiteral("Velmora/UseTestServer.plist")));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(PropertyList::toXml(values));
  }

  QTemporaryDir settings_;
};

TEST_F(ServiceToolTest, DemandPrintsTheRequest) {
  const ToolRun german =
      run({QStringLiteral("demand"), QStringLiteral("--model-code"), QStringLiteral("7"),
           QStringLiteral("--version"), QStringLiteral("1230")},
          {QStringLiteral("LANG=de_DE.UTF-8")});
  EXPECT_EQ(german.status, 0) << german.err.toStdString();
  EXPECT_TRUE(
      german.out.startsWith(u"<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<firmware_demand>\n"));
  for (const char* line :
       {"\t<language>DEU</language>\n", "\t<country_code>0049</country_code>\n",
        "\t<version>00001000</version>\n", "\t\t\t<hard_code>KVOE000700000000</hard_code>\n",
        "\t\t\t<firmware_version>00001230</firmware_version>\n"}) {
    EXPECT_TRUE(german.out.contains(QLatin1String(line))) << line << german.out.toStdString();
  }
  writeSettings({{QStringLiteral("dvr_update_model_id"), QStringLiteral("12")}});
  const ToolRun overridden =
      run({QStringLiteral("demand"), QStringLiteral("--model-code"), QStringLiteral("7"),
           QStringLiteral("--version"), QStringLiteral("1230")},
          {QStringLiteral("LANGUAGE=zh_TW")});
  EXPECT_TRUE(overridden.out.contains(u"<hard_code>KVOE1200000000</hard_code>"));
  EXPECT_TRUE(overridden.out.contains(u"<language>CHT</language>"));
  EXPECT_EQ(run({QStringLiteral("demand"), QStringLiteral("--model-code")}).status, 2);
  EXPECT_EQ(run({QStringLiteral("demand"), QStringLiteral("--model-code"), QStringLiteral("x"),
                 QStringLiteral("--version"), QStringLiteral("1")})
                .status,
            2);
}

TEST_F(ServiceToolTest, ParseAnswer) {
  const ToolRun offer = run({QStringLiteral("parse-answer"),
                             QStringLiteral(TARNWELL_TEST_DATA_DIR "/service/answer.xml")});
  EXPECT_EQ(offer.status, 0);
  EXPECT_TRUE(
      offer.out.startsWith(u"makerCode=KVO\nmodelName=DR-410 & Co\nmodelID=0007\n"
                           "hardwareKind=DVR\nversion=1231\nfileName=DR410_1231.zip\n"
                           "fileSize=1048576\nfileURL=https://"))
      << offer.out.toStdString();
  QTemporaryDir dir;
  QFile bad(dir.filePath(QStringLiteral("bad.xml")));
  ASSERT_TRUE(bad.open(QIODevice::WriteOnly));
  bad.write("<firmware_result><firmwares>");
  bad.close();
  const ToolRun none = run({QStringLiteral("parse-answer"), bad.fileName()});
  EXPECT_EQ(none.status, 0);
  EXPECT_EQ(none.out, QStringLiteral("none\n"));
  EXPECT_EQ(run({QStringLiteral("parse-answer"), dir.filePath(QStringLiteral("missing"))}).status,
            1);
  EXPECT_EQ(run({QStringLiteral("parse-answer")}).status, 2);
}

TEST_F(ServiceToolTest, CheckAndDownloadAgainstTheLocalServer) {
  TestHttpsServer server;
  ASSERT_TRUE(server.isRunning());
  QFile answer(QStringLiteral(TARNWELL_TEST_DATA_DIR "/service/answer.xml"));
  ASSERT_TRUE(answer.open(QIODevice::ReadOnly));
  server.setAnswer(answer.readAll());
  const QStringList checkArguments{QStringLiteral("check"), QStringLiteral("--model-code"),
                                   QStringLiteral("7"), QStringLiteral("--version"),
                                   QStringLiteral("1230")};

  // The built-in hosts do not exist here.
  writeSettings({{QStringLiteral("dvr_update_check_url"), QStringLiteral("https://127.0.0.1:1/")}});
  const ToolRun offline = run(checkArguments);
  EXPECT_EQ(offline.status, 1);
  EXPECT_EQ(offline.out, QStringLiteral("error=notConnected\n"));

  writeSettings({{QStringLiteral("dvr_update_check_url"),
                  server.url(QStringLiteral("/soft/qx20/check/index.html")).toString()},
                 {QStringLiteral("dvr_update_server"),
                  server.url(QStringLiteral("/ww_inform/fcache.do")).toString()},
                 {QStringLiteral("dvr_update_ca_file"), server.caFile()}});
  const ToolRun offer = run(checkArguments);
  EXPECT_EQ(offer.status, 0) << offer.err.toStdString();
  EXPECT_TRUE(offer.out.contains(u"version=1231\n")) << offer.out.toStdString();
  EXPECT_TRUE(server.lastRequest().contains("<hard_code>KVOE000700000000</hard_code>"));

  writeSettings(
      {{QStringLiteral("dvr_update_check_url"),
        server.url(QStringLiteral("/soft/qx20/check/index.html")).toString()},
       {QStringLiteral("dvr_update_server"), server.url(QStringLiteral("/status/503")).toString()},
       {QStringLiteral("dvr_update_ca_file"), server.caFile()}});
  const ToolRun busy = run(checkArguments);
  EXPECT_EQ(busy.status, 1);
  EXPECT_EQ(busy.out, QStringLiteral("error=httpError\ndetail=HTTP 503\n"));

  QTemporaryDir dir;
  const QString target = dir.filePath(QStringLiteral("fw.zip"));
  const ToolRun fetched = run({QStringLiteral("download"),
                               server.url(QStringLiteral("/pkg/sized?size=300000")).toString(),
                               QStringLiteral("-o"), target});
  EXPECT_EQ(fetched.status, 0) << fetched.err.toStdString();
  EXPECT_EQ(QFileInfo(target).size(), 300000);
  EXPECT_TRUE(fetched.out.startsWith(u"size=300000\nseconds=")) << fetched.out.toStdString();
  const ToolRun missing =
      run({QStringLiteral("download"), server.url(QStringLiteral("/pkg/missing")).toString(),
           QStringLiteral("-o"), target});
  EXPECT_EQ(missing.status, 1);
  EXPECT_TRUE(missing.err.contains(u"HTTP 404")) << missing.err.toStdString();
  EXPECT_EQ(run({QStringLiteral("download"), QStringLiteral("x")}).status, 2);
}

}  // namespace
