#include "app/localize/CMLocalize.h"
#include "app/service/DownloadManagerReal.h"
#include "app/update/DownloadFWInteractor.h"
#include "app/update/DownloadProgressText.h"
#include "app/update/NetworkErrorAlert.h"
#include "tests/support/QStringPrinter.h"
#include "tests/support/TestHttpsServer.h"
#include "tests/update/ScriptedUserInterface.h"

#include <gtest/gtest.h>

#include <QTemporaryFile>

#include <cmath>
#include <deque>

namespace {

using namespace std::chrono_literals;

// The download manager at the role boundary: answers as scripted by the test.
class ScriptedDownloadManager final : public DownloadManager {
 public:
  int64_t firmwareSizeAct() const override { return total; }
  int64_t downloadedSizeAct() const override { return received; }
  std::optional<QDateTime> startDate() const override { return started; }
  std::optional<QByteArray> localUpdateFirmware(const AudioDevice& /*device*/) const override {
    return localFirmware;
  }
  void checkConnection(ConnectionCompletion completion) override {
    ++checks;
    const bool connected = connectedAnswers.empty() || connectedAnswers.front();
    if (!connectedAnswers.empty()) {
      connectedAnswers.pop_front();
    }
    completion(connected);
  }
  void requestUpdateInfo(const QByteArray& /*body*/, DataCompletion /*completion*/) override {}
  void downloadFirmware(const FirmwareInfo& /*info*/, DataCompletion completion) override {
    ++downloads;
    pending = std::move(completion);
  }
  void cancelDownload() override {
    ++cancels;
    if (pending) {
      std::exchange(pending, nullptr)(std::nullopt, NetworkError::userCancelled());
    }
  }

  std::deque<bool> connectedAnswers;
  int64_t total = 0;
  int64_t received = 0;
  std::optional<QDateTime> started;
  std::optional<QByteArray> localFirmware;
  DataCompletion pending;
  int checks = 0;
  int downloads = 0;
  int cancels = 0;
};

class DownloadFWInteractorTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    testApplication();
    CMLocalize::initializeSharedWithFilePath(
        QStringLiteral(TARNWELL_SOURCE_DIR "/resources/Localizable.olc"));
  }
  static void TearDownTestSuite() { CMLocalize::initializeSharedWithFilePath(std::nullopt); }

  std::unique_ptr<DownloadFWInteractor> interactor(
      bool localMode = false,
      const QString& fileURL = QStringLiteral("https://example.test/fw.zip")) {
    FirmwareInfo info;
    info.fileURL = fileURL;
    auto result = std::make_unique<DownloadFWInteractor>(
        UpdaterInfo{info}, manager_, std::make_shared<AudioDevice>(0x07B4, 0x0100), ui_, localMode);
    result->setFinishingPause(1ms);
    return result;
  }

  // Starts and waits for the completion; none when it never came.
  struct Run {
    bool started = false;
    bool completed = false;
    std::optional<QByteArray> data;
  };
  Run run(DownloadFWInteractor& subject, const std::function<void()>& whileRunning = {}) {
    Run result;
    result.started = subject.start([&result](std::optional<QByteArray> data) {
      EXPECT_FALSE(result.completed) << "completion called twice";
      result.completed = true;
      result.data = std::move(data);
    });
    if (whileRunning) {
      processEventsUntil([this] { return manager_->pending != nullptr; }, 10s);
      whileRunning();
    }
    processEventsUntil([&result] { return result.completed; }, 10s);
    return result;
  }

  QStringList alertMessages() const {
    QStringList messages;
    for (const AlertRequest& alert : ui_.alerts) {
      messages << alert.message;
    }
    return messages;
  }

  std::shared_ptr<ScriptedDownloadManager> manager_ = std::make_shared<ScriptedDownloadManager>();
  ScriptedUserInterface ui_;
};

const QString kInternet = QStringLiteral(
    "Could not connect to the internet.\nCheck your internet connection and click Retry.");

QString serverAlert(const QString& detail) {
  return QStringLiteral("Could not communicate with the update server. (%1)").arg(detail);
}

TEST(DownloadProgressTickTest, PercentElapsedAndRemaining) {
  using State = DownloadFWInteractor::ProgressState;
  struct Case {
    const char* what;
    State state;
    int64_t total, received;
    std::optional<double> elapsed;
    State expected;
  };
  const Case cases[] = {
      {"quarter after 30 s", {}, 40000000, 10000000, 30.0, {25, 30.0, 90.0}},
      {"first second: no estimate", {}, 1000, 100, 0.5, {10, 0.5, -1.0}},
      {"nothing received yet", {}, 1000, 0, 5.0, {0, 5.0, -1.0}},
      {"no length: percent stays, time unknown", {}, -1, 5000000, 10.0, {0, 10.0, -0.000002}},
      {"never decreases", {60, 1, -1}, 1000, 100, 2.0, {60, 2.0, 18.0}},
      {"complete", {99, 1, 5}, 1000, 1000, 3.0, {100, 3.0, 0.0}},
      {"never above 100", {}, 1000, 2000, std::nullopt, {100, 0.0, -1.0}},
      {"not started", {}, 1000, 500, std::nullopt, {50, 0.0, -1.0}},
  };
  for (const Case& c : cases) {
    const auto tick = DownloadFWInteractor::progressTick(c.state, c.total, c.received, c.elapsed);
    EXPECT_EQ(tick.state.progressValue, c.expected.progressValue) << c.what;
    EXPECT_DOUBLE_EQ(tick.state.pastTimeInterval, c.expected.pastTimeInterval) << c.what;
    if (c.expected.remainTimeInterval < 0) {
      EXPECT_LT(tick.state.remainTimeInterval, 0) << c.what;
    } else {
      EXPECT_DOUBLE_EQ(tick.state.remainTimeInterval, c.expected.remainTimeInterval) << c.what;
    }
  }
}

TEST(DownloadProgressTextTest, Displays) {
  const DownloadProgressText text(QStringLiteral("Elapsed"), QStringLiteral("Left: %@"),
                                  QStringLiteral("min"), QStringLiteral("sec"));
  const std::pair<double, const char*> past[] = {
      {3725.9, "Elapsed: 01:02:05"},       {59.999, "Elapsed: 00:00:59"},
      {360000, "Elapsed: 100:00:00"},      {-5, "Elapsed: 00:00:00"},
      {std::nan(""), "Elapsed: 00:00:00"}, {HUGE_VAL, "Elapsed: 00:00:00"}};
  for (const auto& [seconds, shown] : past) {
    EXPECT_EQ(text.pastTimeText(seconds), QLatin1String(shown)) << seconds;
  }
  const std::pair<double, const char*> remaining[] = {
      {60, "Left: 60 sec"}, {60.9, "Left: 60 sec"},
      {61, "Left: 1 min"},  {119, "Left: 1 min"},
      {120, "Left: 2 min"}, {0.5, "Left: 0 sec"},
      {-1, "Left: "},       {1e300, "Left: 16666666666666 min"}};
  for (const auto& [seconds, shown] : remaining) {
    EXPECT_EQ(text.remainTimeText(seconds), QLatin1String(shown)) << seconds;
  }
  EXPECT_EQ(DownloadProgressText::percentText(100), QStringLiteral("100%"));
  EXPECT_EQ(DownloadProgressText::percentText(0), QStringLiteral("0%"));
}

// The alerts of the download's own failures are checked with the runs below; these are the
// details those runs do not reach.
TEST_F(DownloadFWInteractorTest, ErrorAlerts) {
  const std::pair<NetworkError, QString> cases[] = {
      {NetworkError::httpError(200), serverAlert(QStringLiteral("Unknown"))},
      {NetworkError::nsError(QStringLiteral("QNetworkReply"), 6, QStringLiteral("x")),
       serverAlert(QStringLiteral("QNetworkReply,6"))},
  };
  for (const auto& [error, message] : cases) {
    ui_.alerts.clear();
    bool retry = false;
    NetworkErrorAlert(ui_).report(error, retry);
    ASSERT_EQ(ui_.alerts.size(), 1);
    EXPECT_EQ(ui_.alerts[0].message, message);
    EXPECT_EQ(ui_.alerts[0].defaultButtonTitle, QStringLiteral("OK"));
    EXPECT_EQ(ui_.alerts[0].cancelButtonTitle, std::nullopt);
    EXPECT_FALSE(retry);
  }

  // The alert went away without an answer: no retry.
  ui_.alerts.clear();
  ui_.answers = {std::nullopt};
  bool retry = false;
  NetworkErrorAlert(ui_).report(NetworkError::notConnected(), retry);
  EXPECT_FALSE(retry);
  ASSERT_EQ(ui_.alerts.size(), 1);
  EXPECT_EQ(ui_.alerts[0].defaultButtonTitle, QStringLiteral("Retry"));
  EXPECT_EQ(ui_.alerts[0].cancelButtonTitle, QStringLiteral("Cancel"));
}

TEST_F(DownloadFWInteractorTest, NoFirmwareInformationStartsNothing) {
  DownloadFWInteractor subject(UpdaterInfo{}, manager_, std::make_shared<AudioDevice>(1, 2), ui_,
                               false);
  EXPECT_FALSE(subject.start([](auto) { ADD_FAILURE() << "completion called"; }));
  EXPECT_EQ(manager_->checks, 0);
  EXPECT_TRUE(ui_.windows.empty());
}

TEST_F(DownloadFWInteractorTest, SuccessfulDownloadShowsProgressAndHandsOverTheBytes) {
  auto subject = interactor();
  QDateTime now = QDateTime::currentDateTimeUtc();
  subject->setClock([now] { return now; });
  const Run result = run(*subject, [this, now] {
    // An earlier download's sizes are not shown before this one begins; these are.
    manager_->total = 40000000;
    manager_->received = 10000000;
    manager_->started = now.addSecs(-30);
    processEventsUntil([this] { return !ui_.windows.front().remainTimeIntervals.isEmpty(); }, 10s);
    std::exchange(manager_->pending, nullptr)(QByteArray("PACKAGE"), std::nullopt);
  });
  EXPECT_TRUE(result.started);
  ASSERT_TRUE(result.completed);
  EXPECT_EQ(result.data, QByteArray("PACKAGE"));
  ASSERT_EQ(ui_.windows.size(), 1);
  const auto& window = ui_.windows.front();
  EXPECT_EQ(window.progressValues.first(), 25);
  EXPECT_EQ(window.progressValues.last(), 100);
  EXPECT_DOUBLE_EQ(window.pastTimeIntervals.first(), 30.0);
  EXPECT_DOUBLE_EQ(window.remainTimeIntervals.first(), 90.0);
  EXPECT_FALSE(window.cancelEnabled);
  EXPECT_TRUE(window.closed);
  EXPECT_TRUE(ui_.alerts.isEmpty());
}

TEST_F(DownloadFWInteractorTest, StaleSizesOfAnEarlierDownloadAreNotShown) {
  manager_->total = 100;
  manager_->received = 100;
  manager_->started = QDateTime::currentDateTimeUtc();
  manager_->connectedAnswers = {false};
  ui_.answers = {0};
  auto subject = interactor();
  subject->start([](auto) {});
  processEventsUntil([this] { return !ui_.alerts.isEmpty(); }, 10s);
  EXPECT_TRUE(ui_.windows.front().progressValues.isEmpty());
}

TEST_F(DownloadFWInteractorTest, LocalPackageReplacesTheDownload) {
  manager_->localFirmware = QByteArray("LOCAL");
  auto subject = interactor();
  const Run result = run(*subject, [this] {
    std::exchange(manager_->pending, nullptr)(QByteArray("SERVER"), std::nullopt);
  });
  EXPECT_EQ(result.data, QByteArray("LOCAL"));
}

TEST_F(DownloadFWInteractorTest, NoInternet) {
  // Retry, then cancel: two checks, one window, no download.
  manager_->connectedAnswers = {false, false};
  ui_.answers = {1, 0};
  auto subject = interactor();
  const Run cancelled = run(*subject);
  ASSERT_TRUE(cancelled.completed);
  EXPECT_EQ(cancelled.data, std::nullopt);
  EXPECT_EQ(manager_->checks, 2);
  EXPECT_EQ(manager_->downloads, 0);
  EXPECT_EQ(alertMessages(), (QStringList{kInternet, kInternet}));
  ASSERT_EQ(ui_.windows.size(), 1);
  EXPECT_TRUE(ui_.windows.front().closed);

  // Retry, then connected: the download runs.
  manager_->connectedAnswers = {false, true};
  ui_.answers = {1};
  auto again = interactor();
  const Run retried = run(
      *again, [this] { std::exchange(manager_->pending, nullptr)(QByteArray("P"), std::nullopt); });
  EXPECT_EQ(retried.data, QByteArray("P"));
}

TEST_F(DownloadFWInteractorTest, FailuresEndWithoutBytes) {
  struct Case {
    std::optional<QByteArray> data;
    std::optional<NetworkError> error;
    QStringList alerts;
  };
  const Case cases[] = {
      {QByteArray("<html>"),
       NetworkError::httpError(404),
       {serverAlert(QStringLiteral("HTTP 404"))}},
      {std::nullopt,
       NetworkError::generalError(QStringLiteral("Bad Data")),
       {serverAlert(QStringLiteral("Bad Data"))}},
      {std::nullopt, std::nullopt, {serverAlert(QStringLiteral("Empty Data"))}},
      {std::nullopt, NetworkError::userCancelled(), {}},
  };
  for (const Case& c : cases) {
    ui_.alerts.clear();
    auto subject = interactor();
    const Run result =
        run(*subject, [this, &c] { std::exchange(manager_->pending, nullptr)(c.data, c.error); });
    ASSERT_TRUE(result.completed);
    EXPECT_EQ(result.data, std::nullopt);
    EXPECT_EQ(alertMessages(), c.alerts);
    EXPECT_TRUE(ui_.windows.back().closed);
  }
}

TEST_F(DownloadFWInteractorTest, CancelButtonCancelsTheDownload) {
  auto subject = interactor();
  const Run result = run(*subject, [this] { ui_.windows.front().cancel(); });
  EXPECT_EQ(manager_->cancels, 1);
  ASSERT_TRUE(result.completed);
  EXPECT_EQ(result.data, std::nullopt);
  EXPECT_TRUE(ui_.alerts.isEmpty());
}

TEST_F(DownloadFWInteractorTest, LocalModeReadsTheFile) {
  QTemporaryFile file;
  ASSERT_TRUE(file.open());
  file.write("FROM FILE");
  file.close();
  auto subject = interactor(true, QUrl::fromLocalFile(file.fileName()).toString());
  const Run found = run(*subject);
  EXPECT_EQ(found.data, QByteArray("FROM FILE"));
  EXPECT_TRUE(ui_.windows.empty());
  EXPECT_EQ(manager_->checks, 0);

  for (const QString& url :
       {QUrl::fromLocalFile(file.fileName() + QStringLiteral(".gone")).toString(),
        QStringLiteral("https://example.test/fw.zip")}) {
    ui_.alerts.clear();
    auto missing = interactor(true, url);
    const Run result = run(*missing);
    ASSERT_TRUE(result.completed);
    EXPECT_EQ(result.data, std::nullopt);
    EXPECT_EQ(alertMessages(),
              QStringList{serverAlert(QStringLiteral("The firmware is not found."))});
  }
  EXPECT_TRUE(ui_.windows.empty());
}

TEST_F(DownloadFWInteractorTest, DownloadsFromTheLocalServer) {
  TestHttpsServer server;
  ASSERT_TRUE(server.isRunning());
  DownloadManagerReal::Configuration configuration;
  configuration.connectionCheckURL = server.url(QStringLiteral("/soft/qx20/check/index.html"));
  configuration.updateInfoURL = server.url(QStringLiteral("/ww_inform/fcache.do"));
  configuration.caFile = server.caFile();
  FirmwareInfo info;
  info.fileURL =
      server.url(QStringLiteral("/pkg/sized?size=2000000&chunk=65536&delay=0.02")).toString();
  DownloadFWInteractor subject(UpdaterInfo{info},
                               std::make_shared<DownloadManagerReal>(configuration),
                               std::make_shared<AudioDevice>(1, 2), ui_, false);
  subject.setFinishingPause(1ms);
  std::optional<QByteArray> data;
  bool completed = false;
  ASSERT_TRUE(subject.start([&](auto bytes) {
    data = std::move(bytes);
    completed = true;
  }));
  ASSERT_TRUE(processEventsUntil([&] { return completed; }));
  ASSERT_TRUE(data);
  EXPECT_EQ(data->size(), 2000000);
  const auto& percents = ui_.windows.front().progressValues;
  ASSERT_FALSE(percents.isEmpty());
  EXPECT_TRUE(std::is_sorted(percents.begin(), percents.end()));
  EXPECT_EQ(percents.last(), 100);
  EXPECT_TRUE(ui_.alerts.isEmpty());
}

}  // namespace
