#include "app/core/Settings.h"
#include "app/service/DownloadManagerReal.h"
#include "platform/PropertyList.h"
#include "tests/support/RecordedLog.h"
#include "tests/support/TestHttpsServer.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTcpServer>
#include <QTemporaryDir>

#include <future>

namespace {

using namespace std::chrono_literals;

struct Answer {
  std::optional<QByteArray> data;
  std::optional<NetworkError> error;
};

// A loopback port with nothing listening on it.
int closedPort() {
  QTcpServer server;
  server.listen(QHostAddress::LocalHost);
  return server.serverPort();
}

class DownloadManagerRealTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    testApplication();
    server_ = new TestHttpsServer;
  }
  static void TearDownTestSuite() {
    delete server_;
    server_ = nullptr;
  }

  void SetUp() override {
    ASSERT_TRUE(server_->isRunning()) << "the local HTTPS server did not start";
    server_->reset();
    savedDirs_ = qgetenv("XDG_CONFIG_DIRS");
    qputenv("XDG_CONFIG_DIRS", settingsDir_.path().toUtf8());
    QDir(settingsDir_.path()).mkdir(QStringLiteral("Velmora"));
  }
  void TearDown() override { qputenv("XDG_CONFIG_DIRS", savedDirs_); }

  void writeSettings(const QVariantMap& values) {
    QFile file(Settings::filePath());
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(PropertyList::toXml(values));
  }

  static DownloadManagerReal::Configuration trusted(double timeout = 120.0) {
    DownloadManagerReal::Configuration configuration;
    configuration.updateInfoURL = server_->url(QStringLiteral("/ww_inform/fcache.do"));
    configuration.connectionCheckURL = server_->url(QStringLiteral("/soft/qx20/check/index.html"));
    configuration.caFile = server_->caFile();
    configuration.timeout = timeout;
    configuration.requestTimeout = timeout;
    return configuration;
  }

  static bool check(DownloadManager& manager) {
    std::promise<bool> promise;
    manager.checkConnection([&promise](bool connected) { promise.set_value(connected); });
    auto future = promise.get_future();
    EXPECT_EQ(future.wait_for(60s), std::future_status::ready);
    return future.get();
  }

  static Answer request(DownloadManager& manager, const QByteArray& body) {
    std::promise<Answer> promise;
    manager.requestUpdateInfo(body, [&promise](auto data, auto error) {
      promise.set_value({std::move(data), std::move(error)});
    });
    auto future = promise.get_future();
    EXPECT_EQ(future.wait_for(60s), std::future_status::ready);
    return future.get();
  }

  static Answer download(DownloadManager& manager, const QString& url) {
    FirmwareInfo info;
    info.fileURL = url;
    std::promise<Answer> promise;
    manager.downloadFirmware(info, [&promise](auto data, auto error) {
      promise.set_value({std::move(data), std::move(error)});
    });
    auto future = promise.get_future();
    EXPECT_EQ(future.wait_for(60s), std::future_status::ready);
    return future.get();
  }

  static inline TestHttpsServer* server_ = nullptr;
  QTemporaryDir settingsDir_;
  QByteArray savedDirs_;
};

TEST_F(DownloadManagerRealTest, ConnectionCheck) {
  const RecordedLog log;
  DownloadManagerReal manager(trusted());
  EXPECT_TRUE(check(manager));
  EXPECT_EQ(server_->hits(QStringLiteral("/soft/qx20/check/index.html")), 1);
  EXPECT_EQ(log.lines(),
            QStringList{QStringLiteral("CheckConnection: Status=200, error=none, URL=") +
                        trusted().connectionCheckURL.toString()});

  // Certificates are verified: without the test's authority the same page is unreachable.
  auto untrusted = trusted();
  untrusted.caFile.clear();
  EXPECT_FALSE(check(*std::make_unique<DownloadManagerReal>(untrusted)));

  auto missing = trusted();
  missing.connectionCheckURL = server_->url(QStringLiteral("/pkg/missing"));
  EXPECT_FALSE(check(*std::make_unique<DownloadManagerReal>(missing)));

  auto refused = trusted();
  refused.connectionCheckURL = QUrl(QStringLiteral("https://127.0.0.1:%1/").arg(closedPort()));
  EXPECT_FALSE(check(*std::make_unique<DownloadManagerReal>(refused)));
}

TEST_F(DownloadManagerRealTest, SettingsReplaceAddressesAndAddTrust) {
  auto configuration = trusted();
  configuration.caFile.clear();
  configuration.connectionCheckURL =
      QUrl(QStringLiteral("https://127.0.0.1:%1/").arg(closedPort()));
  DownloadManagerReal manager(configuration);
  EXPECT_FALSE(check(manager));

  writeSettings({{QStringLiteral("dvr_update_check_url"),
                  server_->url(QStringLiteral("/soft/qx20/check/index.html")).toString()},
                 {QStringLiteral("dvr_update_ca_file"), server_->caFile()},
                 {QStringLiteral("dvr_update_server"),
                  server_->url(QStringLiteral("/status/503")).toString()}});
  EXPECT_EQ(manager.connectionCheckURL(),
            server_->url(QStringLiteral("/soft/qx20/check/index.html")));
  EXPECT_TRUE(check(manager));
  EXPECT_EQ(request(manager, "<x/>").error, NetworkError::httpError(503));

  // Unusable addresses are ignored.
  writeSettings({{QStringLiteral("dvr_update_server"), QStringLiteral("not a url")},
                 {QStringLiteral("dvr_update_check_url"), QStringLiteral("ftp://example.test/")}});
  EXPECT_EQ(manager.updateInfoAddresses(), QList<QUrl>{configuration.updateInfoURL});
  EXPECT_EQ(manager.connectionCheckURL(), configuration.connectionCheckURL);
}

TEST_F(DownloadManagerRealTest, RequestPostsTheDocumentAndReturnsTheAnswer) {
  const RecordedLog log;
  server_->setAnswer("<firmware_result/>");
  DownloadManagerReal manager(trusted());
  const Answer answer = request(manager, "<firmware_demand />\n");
  EXPECT_EQ(answer.error, std::nullopt);
  EXPECT_EQ(answer.data, QByteArray("<firmware_result/>"));

  const QByteArray sent = server_->lastRequest();
  EXPECT_TRUE(sent.contains("User-Agent: QXSYSTEM\n")) << sent.toStdString();
  EXPECT_TRUE(sent.contains("Accept: */*\n")) << sent.toStdString();
  EXPECT_TRUE(sent.contains("Content-Type: text/xml\n")) << sent.toStdString();
  EXPECT_TRUE(sent.endsWith("\n\n<firmware_demand />\n")) << sent.toStdString();

  const QString address = trusted().updateInfoURL.toString();
  EXPECT_EQ(log.lines(), (QStringList{QStringLiteral("Request: URL=") + address,
                                      QStringLiteral("\n<firmware_demand />\n"),
                                      QStringLiteral("Response: HttpStatus=200, Error=none"),
                                      QStringLiteral("\n<firmware_result/>")}));
}

TEST_F(DownloadManagerRealTest, RequestFailures) {
  struct Case {
    QString path;
    double timeout;
    NetworkError::Kind kind;
    int status;
  };
  const Case cases[] = {
      {QStringLiteral("/status/500-once"), 120.0, NetworkError::Kind::httpError, 500},
      {QStringLiteral("/status/503"), 120.0, NetworkError::Kind::httpError, 503},
      {QStringLiteral("/huge"), 120.0, NetworkError::Kind::generalError, 0},
  };
  for (const Case& c : cases) {
    auto configuration = trusted(c.timeout);
    configuration.updateInfoURL = server_->url(c.path);
    DownloadManagerReal manager(configuration);
    const Answer answer = request(manager, "<x/>");
    ASSERT_TRUE(answer.error) << c.path.toStdString();
    EXPECT_EQ(answer.error->kind(), c.kind) << c.path.toStdString();
    EXPECT_EQ(answer.error->status(), c.status) << c.path.toStdString();
  }
  // A failed request is not repeated: the 500 was answered once.
  EXPECT_EQ(server_->hits(QStringLiteral("/status/500-once")), 1);

  auto refused = trusted();
  refused.updateInfoURL = QUrl(QStringLiteral("https://127.0.0.1:%1/x").arg(closedPort()));
  const Answer answer = request(*std::make_unique<DownloadManagerReal>(refused), "<x/>");
  ASSERT_TRUE(answer.error);
  EXPECT_EQ(answer.error->kind(), NetworkError::Kind::nsError);
  EXPECT_EQ(answer.error->domain(), QStringLiteral("QNetworkReply"));
}

TEST_F(DownloadManagerRealTest, DownloadsWithAndWithoutLength) {
  const RecordedLog log;
  DownloadManagerReal manager(trusted());
  const QString sized = server_->url(QStringLiteral("/pkg/sized?size=3000000")).toString();
  const Answer answer = download(manager, sized);
  EXPECT_EQ(answer.error, std::nullopt);
  ASSERT_TRUE(answer.data);
  EXPECT_EQ(answer.data->size(), 3000000);
  EXPECT_EQ(static_cast<unsigned char>(answer.data->at(1048576 + 300)), 300 % 256);
  EXPECT_EQ(manager.firmwareSizeAct(), 3000000);
  EXPECT_EQ(manager.downloadedSizeAct(), 3000000);
  EXPECT_TRUE(manager.startDate());
  EXPECT_EQ(log.lines(), (QStringList{QStringLiteral("Download: Start: URL=") + sized,
                                      QStringLiteral("Download: Finish")}));

  // Without a length the total stays -1 while the bytes arrive.
  FirmwareInfo info;
  info.fileURL =
      server_->url(QStringLiteral("/pkg/nolength?size=1200000&chunk=65536&delay=0.05")).toString();
  std::atomic<bool> done = false;
  std::optional<QByteArray> data;
  manager.downloadFirmware(info, [&](auto bytes, auto error) {
    EXPECT_EQ(error, std::nullopt);
    data = std::move(bytes);
    done = true;
  });
  EXPECT_TRUE(processEventsUntil([&] { return done || manager.downloadedSizeAct() > 0; }));
  EXPECT_EQ(manager.firmwareSizeAct(), -1);
  EXPECT_TRUE(processEventsUntil([&] { return done.load(); }));
  ASSERT_TRUE(data);
  EXPECT_EQ(data->size(), 1200000);
}

TEST_F(DownloadManagerRealTest, DownloadOutcomes) {
  struct Case {
    QString url;
    std::optional<NetworkError> error;
    std::optional<QByteArray> data;
  };
  const Case cases[] = {
      {server_->url(QStringLiteral("/pkg/missing")).toString(), NetworkError::httpError(404),
       QByteArray("<html><body>not here</body></html>")},
      {server_->url(QStringLiteral("/empty")).toString(),
       NetworkError::generalError(QStringLiteral("Bad Data")), QByteArray()},
      {QStringLiteral("::not a url"), NetworkError::generalError(QStringLiteral("Bad URL")),
       std::nullopt},
      {QStringLiteral("file:///etc/passwd"), NetworkError::generalError(QStringLiteral("Bad URL")),
       std::nullopt},
  };
  const RecordedLog log;
  DownloadManagerReal manager(trusted());
  for (const Case& c : cases) {
    const Answer answer = download(manager, c.url);
    EXPECT_EQ(answer.error, c.error) << c.url.toStdString();
    EXPECT_EQ(answer.data, c.data) << c.url.toStdString();
  }
  const QStringList lines = log.lines();
  EXPECT_TRUE(lines.contains(QStringLiteral("Download: Error, HttpStatus=404")))
      << lines.join(u'|').toStdString();
  EXPECT_TRUE(lines.contains(QStringLiteral("Download: Error, Bad Data")))
      << lines.join(u'|').toStdString();

  for (const QString& url : {QStringLiteral("https://127.0.0.1:%1/x").arg(closedPort()),
                             server_->url(QStringLiteral("/stall")).toString()}) {
    DownloadManagerReal impatient(trusted(1.0));
    const Answer answer = download(impatient, url);
    ASSERT_TRUE(answer.error) << url.toStdString();
    EXPECT_EQ(answer.error->kind(), NetworkError::Kind::nsError) << url.toStdString();
    EXPECT_EQ(answer.data, std::nullopt);
  }

  auto untrusted = trusted();
  untrusted.caFile.clear();
  DownloadManagerReal suspicious(untrusted);
  const Answer refused =
      download(suspicious, server_->url(QStringLiteral("/pkg/sized?size=10")).toString());
  ASSERT_TRUE(refused.error);
  EXPECT_EQ(refused.error->kind(), NetworkError::Kind::nsError);
  EXPECT_EQ(refused.data, std::nullopt);
}

TEST_F(DownloadManagerRealTest, CancelHalfWayAndOneDownloadAtATime) {
  const RecordedLog log;
  DownloadManagerReal manager(trusted());
  FirmwareInfo info;
  info.fileURL =
      server_->url(QStringLiteral("/pkg/sized?size=4000000&chunk=65536&delay=0.05")).toString();
  std::atomic<int> calls = 0;
  std::optional<NetworkError> outcome;
  manager.downloadFirmware(info, [&](auto /*data*/, auto error) {
    outcome = error;
    ++calls;
  });
  bool secondCalled = false;
  manager.downloadFirmware(info, [&](auto, auto) { secondCalled = true; });
  EXPECT_TRUE(processEventsUntil([&] { return manager.downloadedSizeAct() > 0; }));
  EXPECT_EQ(manager.firmwareSizeAct(), 4000000);
  manager.cancelDownload();
  EXPECT_TRUE(processEventsUntil([&] { return calls > 0; }));
  EXPECT_EQ(outcome, NetworkError::userCancelled());
  EXPECT_LT(manager.downloadedSizeAct(), 4000000);
  EXPECT_FALSE(secondCalled);
  EXPECT_TRUE(log.lines().contains(QStringLiteral("Download: Cancel")));

  // Idle again: cancelling does nothing, and a new download runs.
  manager.cancelDownload();
  const Answer again =
      download(manager, server_->url(QStringLiteral("/pkg/sized?size=10")).toString());
  EXPECT_EQ(again.error, std::nullopt);
  EXPECT_EQ(calls, 1);
}

TEST_F(DownloadManagerRealTest, AbandonedTransfersEndWithTheManager) {
  bool called = false;
  {
    DownloadManagerReal manager(trusted());
    FirmwareInfo info;
    info.fileURL = server_->url(QStringLiteral("/stall")).toString();
    manager.downloadFirmware(info, [&](auto, auto) { called = true; });
    manager.checkConnection([&](bool) { called = true; });
  }
  EXPECT_FALSE(called);
}

class LocalModeTest : public DownloadManagerRealTest {
 protected:
  void SetUp() override {
    DownloadManagerRealTest::SetUp();
    device_.deviceID = 6699;
    device_.modelID = 12;
    device_.version = QStringLiteral("1230");
    QDir(data_.path()).mkdir(QStringLiteral("1A2B"));
  }
  void write(const QString& name, const QByteArray& bytes) {
    QFile file(data_.filePath(QStringLiteral("1A2B/") + name));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
  }
  static QByteArray answerNaming(const QString& file) {
    return "<firmware_result><firmwares><firmware_info><url>" + file.toUtf8() +
           "</url></firmware_info></firmwares></firmware_result>";
  }

  AudioDevice device_{0x07B4, 0x0100};
  QTemporaryDir data_;
  DownloadManagerReal manager_{trusted()};
};

TEST_F(LocalModeTest, RequestValuesComeFromTheRecorderUnlessOverridden) {
  EXPECT_EQ(manager_.requestModelCode(device_), QStringLiteral("0012"));
  EXPECT_EQ(manager_.requestFirmwareVersion(device_), QStringLiteral("1230"));
  device_.modelID = 12345;
  EXPECT_EQ(manager_.requestModelCode(device_), QStringLiteral("12345"));
  writeSettings({{QStringLiteral("dvr_update_model_id"), QStringLiteral("12")},
                 {QStringLiteral("dvr_update_fwver"), QStringLiteral("12345")}});
  EXPECT_EQ(manager_.requestModelCode(device_), QStringLiteral("12"));
  EXPECT_EQ(manager_.requestFirmwareVersion(device_), QStringLiteral("12345"));
}

TEST_F(LocalModeTest, ReadsTheRecordersFolder) {
  EXPECT_EQ(manager_.localUpdateResponse(device_), std::nullopt);
  writeSettings({{QStringLiteral("dvr_update_localmode_data_dir"), data_.path()}});
  EXPECT_EQ(manager_.localUpdateResponse(device_), std::nullopt);
  write(QStringLiteral("Response.xml"), answerNaming(QStringLiteral("fw.bin")));
  EXPECT_EQ(manager_.localUpdateResponse(device_), answerNaming(QStringLiteral("fw.bin")));
  EXPECT_EQ(manager_.localUpdateFirmware(device_), std::nullopt);
  write(QStringLiteral("fw.bin"), "FIRMWARE");
  EXPECT_EQ(manager_.localUpdateFirmware(device_), QByteArray("FIRMWARE"));

  device_.deviceID = 0x1A2C;
  EXPECT_EQ(manager_.localUpdateResponse(device_), std::nullopt);

  writeSettings(
      {{QStringLiteral("dvr_update_localmode_data_dir"), data_.filePath(QStringLiteral("gone"))}});
  device_.deviceID = 6699;
  EXPECT_EQ(manager_.localUpdateResponse(device_), std::nullopt);
}

TEST_F(LocalModeTest, PackageNamesStayInsideTheRecordersFolder) {
  writeSettings({{QStringLiteral("dvr_update_localmode_data_dir"), data_.path()}});
  QFile outside(data_.filePath(QStringLiteral("secret")));
  ASSERT_TRUE(outside.open(QIODevice::WriteOnly));
  outside.write("SECRET");
  outside.close();
  for (const QString& name : {QStringLiteral("../secret"), data_.filePath(QStringLiteral("secret")),
                              QStringLiteral("a/../../secret"), QString()}) {
    write(QStringLiteral("Response.xml"), answerNaming(name));
    EXPECT_EQ(manager_.localUpdateFirmware(device_), std::nullopt) << name.toStdString();
  }
  QDir(data_.path()).mkpath(QStringLiteral("1A2B/sub"));
  write(QStringLiteral("sub/fw.bin"), "NESTED");
  write(QStringLiteral("Response.xml"), answerNaming(QStringLiteral("sub/fw.bin")));
  EXPECT_EQ(manager_.localUpdateFirmware(device_), QByteArray("NESTED"));
}

}  // namespace
