// The HTTP client of the update service against the local HTTPS server: what is sent, what
// each outcome becomes, settings that redirect it, and the recorder's local-mode folder.
#include "app/service/DownloadManagerReal.h"
#include "tests/support/RecordedLog.h"
#include "tests/support/TestController.h"
#include "tests/support/TestHttpsServer.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QNetworkReply>
#include <QTcpServer>
#include <QTemporaryDir>

#include <future>

using namespace Qt::StringLiterals;

namespace {

using namespace std::chrono_literals;
using Configuration = DownloadManagerReal::Configuration;

struct Answer {
  std::optional<QByteArray> data;
  std::optional<NetworkError> error;
  friend bool operator==(const Answer&, const Answer&) = default;
};

// A loopback address with nothing listening on it.
QUrl closedPort() {
  QTcpServer server;
  server.listen(QHostAddress::LocalHost);
  return QUrl(u"https://127.0.0.1:%1/x"_s.arg(server.serverPort()));
}

// Starts a call with a completion that keeps its one result, and waits for that result.
template <typename Result, typename Start>
Result await(Start start) {
  std::promise<Result> promise;
  start([&promise](Result result) { promise.set_value(std::move(result)); });
  auto future = promise.get_future();
  EXPECT_EQ(future.wait_for(60s), std::future_status::ready);
  return future.get();
}

bool check(DownloadManager& manager) {
  return await<bool>([&](auto done) { manager.checkConnection(done); });
}
Answer request(DownloadManager& manager, const QByteArray& body) {
  return await<Answer>([&](auto done) {
    manager.requestUpdateInfo(body, [done](auto data, auto error) { done({data, error}); });
  });
}
Answer download(DownloadManager& manager, const QString& url) {
  FirmwareInfo info;
  info.fileURL = url;
  return await<Answer>([&](auto done) {
    manager.downloadFirmware(info, [done](auto data, auto error) { done({data, error}); });
  });
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
  }
  void TearDown() override { qputenv("XDG_CONFIG_DIRS", savedDirs_); }

  void writeSettings(const QVariantMap& values) {
    ASSERT_TRUE(writeSettingsFile(settingsDir_.path(), values));
  }
  static QUrl url(const QString& path) { return server_->url(path); }
  static QString plainHttp(const QString& path) {
    QUrl plain = url(path);
    plain.setScheme(u"http"_s);
    return plain.toString();
  }
  static Configuration trusted(double timeout = 120.0) {
    Configuration configuration = serviceOf(*server_);
    configuration.timeout = timeout;
    return configuration;
  }
  static Configuration untrusted() {
    Configuration configuration = trusted();
    configuration.caFile.clear();
    return configuration;
  }

  static inline TestHttpsServer* server_ = nullptr;
  QTemporaryDir settingsDir_;
  QByteArray savedDirs_;
};

TEST_F(DownloadManagerRealTest, ConnectionCheck) {
  const RecordedLog log;
  EXPECT_TRUE(check(*std::make_unique<DownloadManagerReal>(trusted())));
  EXPECT_EQ(server_->hits(u"/soft/qx20/check/index.html"_s), 1);
  EXPECT_EQ(log.lines(), QStringList{u"CheckConnection: Status=200, error=none, URL="_s +
                                     trusted().connectionCheckURL.toString()});
  // Certificates are verified: without the test's authority the same page is unreachable.
  for (const auto& [what, configuration, address] :
       {std::tuple{"untrusted", untrusted(), trusted().connectionCheckURL},
        std::tuple{"missing", trusted(), url(u"/pkg/missing"_s)}}) {
    Configuration changed = configuration;
    changed.connectionCheckURL = address;
    EXPECT_FALSE(check(*std::make_unique<DownloadManagerReal>(changed))) << what;
  }
}

// A server that trickles a byte every 0.2 s never trips the idle limit: the whole exchange's
// limit ends the connection check and the request, as time-outs.
TEST_F(DownloadManagerRealTest, ATricklingServerIsCutOffAtTheExchangesLimit) {
  Configuration configuration = trusted(1.0);
  configuration.requestTimeout = 1.0;
  configuration.connectionCheckURL = url(u"/trickle"_s);
  configuration.updateInfoURL = url(u"/trickle"_s);
  DownloadManagerReal manager(configuration);
  EXPECT_FALSE(check(manager));
  const Answer answer = request(manager, "<x/>");
  ASSERT_TRUE(answer.error);
  EXPECT_EQ(answer.error->kind(), NetworkError::Kind::nsError);
  EXPECT_EQ(answer.error->code(), QNetworkReply::TimeoutError);
}

// Settings that redirect the service are checked through tarnwell-tool check.
TEST_F(DownloadManagerRealTest, SettingsWithUnusableAddressesAreIgnored) {
  const Configuration configuration = trusted();
  DownloadManagerReal manager(configuration);
  writeSettings({{u"dvr_update_server"_s, u"not a url"_s},
                 {u"dvr_update_check_url"_s, u"ftp://example.test/"_s}});
  EXPECT_EQ(manager.updateInfoAddresses(), QList<QUrl>{configuration.updateInfoURL});
  EXPECT_EQ(manager.connectionCheckURL(), configuration.connectionCheckURL);
}

TEST_F(DownloadManagerRealTest, RequestPostsTheDocumentAndReturnsTheAnswer) {
  const RecordedLog log;
  server_->setAnswer("<firmware_result/>");
  DownloadManagerReal manager(trusted());
  EXPECT_EQ(request(manager, "<firmware_demand />\n"),
            (Answer{QByteArray("<firmware_result/>"), std::nullopt}));
  const QByteArray sent = server_->lastRequest();
  for (const char* part : {"User-Agent: QXSYSTEM\n", "Accept: */*\n", "Content-Type: text/xml\n",
                           "\n\n<firmware_demand />\n"}) {
    EXPECT_TRUE(sent.contains(part)) << sent.toStdString();
  }
  EXPECT_TRUE(sent.endsWith("\n<firmware_demand />\n")) << sent.toStdString();
  EXPECT_EQ(log.lines(),
            (QStringList{u"Request: URL="_s + trusted().updateInfoURL.toString(),
                         u"\n<firmware_demand />\n"_s, u"Response: HttpStatus=200, Error=none"_s,
                         u"\n<firmware_result/>"_s}));
}

TEST_F(DownloadManagerRealTest, RequestFailures) {
  const std::tuple<QUrl, NetworkError::Kind, int> cases[] = {
      {url(u"/status/500-once"_s), NetworkError::Kind::httpError, 500},
      {url(u"/huge"_s), NetworkError::Kind::generalError, 0},
      {closedPort(), NetworkError::Kind::nsError, 0},
  };
  for (const auto& [address, kind, status] : cases) {
    Configuration configuration = trusted();
    configuration.updateInfoURL = address;
    const Answer answer = request(*std::make_unique<DownloadManagerReal>(configuration), "<x/>");
    ASSERT_TRUE(answer.error) << address.toString().toStdString();
    EXPECT_EQ(answer.error->kind(), kind) << address.toString().toStdString();
    if (kind == NetworkError::Kind::nsError) {
      EXPECT_EQ(answer.error->domain(), u"QNetworkReply"_s);
    } else {
      EXPECT_EQ(answer.error->status(), status) << address.toString().toStdString();
    }
  }
  // A failed request is not repeated: the 500 was answered once.
  EXPECT_EQ(server_->hits(u"/status/500-once"_s), 1);
}

TEST_F(DownloadManagerRealTest, DownloadOutcomes) {
  const RecordedLog log;
  DownloadManagerReal manager(trusted());
  const QString sized = url(u"/pkg/sized?size=3000000"_s).toString();
  const Answer answer = download(manager, sized);
  EXPECT_EQ(answer.error, std::nullopt);
  ASSERT_TRUE(answer.data);
  EXPECT_EQ(answer.data->size(), 3000000);
  EXPECT_EQ(static_cast<unsigned char>(answer.data->at(1048576 + 300)), 300 % 256);
  EXPECT_TRUE(manager.startDate());
  EXPECT_EQ(log.lines(), (QStringList{u"Download: Start: URL="_s + sized, u"Download: Finish"_s}));

  const NetworkError badURL = NetworkError::generalError(u"Bad URL"_s);
  const std::tuple<QString, std::optional<NetworkError>, std::optional<QByteArray>, const char*>
      cases[] = {
          {url(u"/pkg/missing"_s).toString(), NetworkError::httpError(404),
           QByteArray("<html><body>not here</body></html>"), "Download: Error, HttpStatus=404"},
          {url(u"/empty"_s).toString(), NetworkError::generalError(u"Bad Data"_s), QByteArray(),
           "Download: Error, Bad Data"},
          {u"::not a url"_s, badURL, std::nullopt, nullptr},
          {u"file:///etc/passwd"_s, badURL, std::nullopt, nullptr},
          // Plain HTTP could hand over anyone's firmware: only HTTPS unless the settings say.
          {plainHttp(u"/pkg/sized?size=10"_s), badURL, std::nullopt, nullptr},
      };
  for (const auto& [address, error, data, logged] : cases) {
    EXPECT_EQ(download(manager, address), (Answer{data, error})) << address.toStdString();
    if (logged != nullptr) {
      EXPECT_TRUE(log.contains(QString::fromLatin1(logged))) << logged;
    }
  }
  // Refused, cut short, stalled past the timeout, or not trusted: a system error and no data.
  for (const auto& [configuration, address] :
       {std::pair{trusted(1.0), closedPort().toString()},
        std::pair{trusted(), url(u"/pkg/short?size=100000"_s).toString()},
        std::pair{trusted(1.0), url(u"/stall"_s).toString()},
        std::pair{untrusted(), url(u"/pkg/sized?size=10"_s).toString()}}) {
    const Answer failed = download(*std::make_unique<DownloadManagerReal>(configuration), address);
    ASSERT_TRUE(failed.error) << address.toStdString();
    EXPECT_EQ(failed.error->kind(), NetworkError::Kind::nsError) << address.toStdString();
    EXPECT_EQ(failed.data, std::nullopt);
  }
  // The settings may point the service at a plain-HTTP test server; its own host may then
  // serve packages over plain HTTP too (tried here: the HTTPS server does not answer it).
  writeSettings({{u"dvr_update_server"_s, plainHttp(u"/ww_inform/fcache.do"_s)}});
  const Answer tried = download(manager, plainHttp(u"/pkg/sized?size=10"_s));
  ASSERT_TRUE(tried.error);
  EXPECT_EQ(tried.error->kind(), NetworkError::Kind::nsError);
}

TEST_F(DownloadManagerRealTest, ProgressCancelAndOneDownloadAtATime) {
  const RecordedLog log;
  DownloadManagerReal manager(trusted());
  // Without a length the total stays -1 while the bytes arrive.
  FirmwareInfo info;
  info.fileURL = url(u"/pkg/nolength?size=1200000&chunk=65536&delay=0.05"_s).toString();
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

  info.fileURL = url(u"/pkg/sized?size=4000000&chunk=65536&delay=0.05"_s).toString();
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
  EXPECT_TRUE(log.contains(u"Download: Cancel"_s));

  // Idle again: cancelling does nothing, and a new download runs.
  manager.cancelDownload();
  EXPECT_EQ(download(manager, url(u"/pkg/sized?size=10"_s).toString()).error, std::nullopt);
  EXPECT_EQ(calls, 1);

  // Transfers still open when the manager goes end with it, without a call.
  bool called = false;
  {
    DownloadManagerReal abandoned(trusted());
    info.fileURL = url(u"/stall"_s).toString();
    abandoned.downloadFirmware(info, [&](auto, auto) { called = true; });
    abandoned.checkConnection([&](bool) { called = true; });
  }
  EXPECT_FALSE(called);
}

TEST_F(DownloadManagerRealTest, LocalModeReadsTheRecordersFolderUnlessOverridden) {
  AudioDevice device(0x07B4, 0x0100);
  device.deviceID = 6699;  // 1A2B
  device.modelID = 12345;
  device.version = u"1230"_s;
  DownloadManagerReal manager(trusted());
  // Padding and the model setting are tarnwell-tool demand rows.
  EXPECT_EQ(manager.requestModelCode(device), u"12345"_s);
  writeSettings({{u"dvr_update_fwver"_s, u"12345"_s}});
  EXPECT_EQ(manager.requestFirmwareVersion(device), u"12345"_s);

  QTemporaryDir data;
  const auto write = [&data](const QString& name, const QByteArray& bytes) {
    QDir(data.path()).mkpath(QFileInfo(data.filePath(name)).path());
    QFile file(data.filePath(name));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
  };
  const auto naming = [](const QString& file) {
    return "<firmware_result><firmwares><firmware_info><url>" + file.toUtf8() +
           "</url></firmware_info></firmwares></firmware_result>";
  };
  writeSettings({{u"dvr_update_localmode_data_dir"_s, data.path()}});
  EXPECT_EQ(manager.localUpdateResponse(device), std::nullopt);
  write(u"1A2B/Response.xml"_s, naming(u"fw.bin"_s));
  EXPECT_EQ(manager.localUpdateResponse(device), naming(u"fw.bin"_s));
  EXPECT_EQ(manager.localUpdateFirmware(device), std::nullopt);
  write(u"1A2B/fw.bin"_s, "FIRMWARE");
  EXPECT_EQ(manager.localUpdateFirmware(device), QByteArray("FIRMWARE"));
  write(u"1A2B/sub/fw.bin"_s, "NESTED");
  write(u"1A2B/Response.xml"_s, naming(u"sub/fw.bin"_s));
  EXPECT_EQ(manager.localUpdateFirmware(device), QByteArray("NESTED"));

  // Package names stay inside the recorder's folder.
  write(u"secret"_s, "SECRET");
  for (const QString& name :
       {u"../secret"_s, data.filePath(u"secret"_s), u"a/../../secret"_s, QString()}) {
    write(u"1A2B/Response.xml"_s, naming(name));
    EXPECT_EQ(manager.localUpdateFirmware(device), std::nullopt) << name.toStdString();
  }
  device.deviceID = 0x1A2C;
  EXPECT_EQ(manager.localUpdateResponse(device), std::nullopt);
}

}  // namespace
