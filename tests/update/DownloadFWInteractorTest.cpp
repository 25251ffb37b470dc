#include "app/localize/CMLocalize.h"
#include "app/update/DownloadFWInteractor.h"
#include "app/update/DownloadProgressText.h"
#include "app/update/NetworkErrorAlert.h"
#include "tests/support/EventLoop.h"
#include "tests/support/QStringPrinter.h"
#include "tests/update/ScriptedUserInterface.h"

#include <gtest/gtest.h>

#include <cmath>
#include <deque>

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;

namespace {

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

QString serverAlert(const QString& detail) {
  return u"Could not communicate with the update server. (%1)"_s.arg(detail);
}

class DownloadFWInteractorTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    testApplication();
    CMLocalize::initializeSharedWithFilePath(
        QStringLiteral(TARNWELL_SOURCE_DIR "/resources/Localizable.olc"));
  }
  static void TearDownTestSuite() { CMLocalize::initializeSharedWithFilePath(std::nullopt); }

  std::unique_ptr<DownloadFWInteractor> interactor(
      bool localMode = false, const QString& fileURL = u"https://example.test/fw.zip"_s) {
    FirmwareInfo info;
    info.fileURL = fileURL;
    auto result = std::make_unique<DownloadFWInteractor>(
        UpdaterInfo{info}, manager, std::make_shared<AudioDevice>(0x07B4, 0x0100), ui, localMode);
    result->setFinishingPause(1ms);
    return result;
  }

  // Starts `subject`, lets `whileRunning` act once the download runs and waits for the
  // completion; false when it never came.
  bool run(DownloadFWInteractor& subject, std::optional<QByteArray>& data,
           const std::function<void()>& whileRunning = {}) {
    bool completed = false;
    EXPECT_TRUE(subject.start([&](std::optional<QByteArray> bytes) {
      EXPECT_FALSE(completed) << "completion called twice";
      completed = true;
      data = std::move(bytes);
    }));
    if (whileRunning && processEventsUntil([this] { return manager->pending != nullptr; }, 10s)) {
      whileRunning();
    }
    return processEventsUntil([&] { return completed; }, 10s);
  }

  std::shared_ptr<ScriptedDownloadManager> manager = std::make_shared<ScriptedDownloadManager>();
  ScriptedUserInterface ui;
};

TEST(DownloadProgressTest, TicksAndTextsOfTheWindow) {
  using State = DownloadFWInteractor::ProgressState;
  struct Case {
    const char* what;
    State state;
    int64_t total, received;
    std::optional<double> elapsed;
    State expected;
  };
  // clang-format off
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
  // clang-format on
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const auto tick = DownloadFWInteractor::progressTick(c.state, c.total, c.received, c.elapsed);
    EXPECT_EQ(tick.state.progressValue, c.expected.progressValue);
    EXPECT_DOUBLE_EQ(tick.state.pastTimeInterval, c.expected.pastTimeInterval);
    if (c.expected.remainTimeInterval < 0) {
      EXPECT_LT(tick.state.remainTimeInterval, 0);
    } else {
      EXPECT_DOUBLE_EQ(tick.state.remainTimeInterval, c.expected.remainTimeInterval);
    }
  }

  const DownloadProgressText text(u"Elapsed"_s, u"Left: %@"_s, u"min"_s, u"sec"_s);
  // clang-format off
  const std::pair<double, const char*> past[] = {
      {3725.9, "Elapsed: 01:02:05"}, {59.999, "Elapsed: 00:00:59"}, {360000, "Elapsed: 100:00:00"},
      {-5, "Elapsed: 00:00:00"}, {std::nan(""), "Elapsed: 00:00:00"}, {HUGE_VAL, "Elapsed: 00:00:00"}};
  const std::pair<double, const char*> remaining[] = {
      {60, "Left: 60 sec"}, {60.9, "Left: 60 sec"}, {61, "Left: 1 min"}, {119, "Left: 1 min"},
      {120, "Left: 2 min"}, {0.5, "Left: 0 sec"}, {-1, "Left: "}, {1e300, "Left: 16666666666666 min"}};
  // clang-format on
  for (const auto& [seconds, shown] : past) {
    EXPECT_EQ(text.pastTimeText(seconds), QLatin1String(shown)) << seconds;
  }
  for (const auto& [seconds, shown] : remaining) {
    EXPECT_EQ(text.remainTimeText(seconds), QLatin1String(shown)) << seconds;
  }
  EXPECT_EQ(DownloadProgressText::percentText(100), u"100%"_s);
  EXPECT_EQ(DownloadProgressText::percentText(0), u"0%"_s);
}

// The alerts of the download's failures are checked with the runs below; these are the
// details the runs do not reach.
TEST_F(DownloadFWInteractorTest, ErrorAlerts) {
  const std::pair<NetworkError, QString> cases[] = {
      {NetworkError::httpError(200), serverAlert(u"Unknown"_s)},
      {NetworkError::nsError(u"QNetworkReply"_s, 6, u"x"_s), serverAlert(u"QNetworkReply,6"_s)},
  };
  for (const auto& [error, message] : cases) {
    ui.alerts.clear();
    bool retry = false;
    NetworkErrorAlert(ui).report(error, retry);
    ASSERT_EQ(ui.alerts.size(), 1);
    EXPECT_EQ(ui.alerts[0].message, message);
    EXPECT_EQ(ui.alerts[0].defaultButtonTitle, u"OK"_s);
    EXPECT_EQ(ui.alerts[0].cancelButtonTitle, std::nullopt);
    EXPECT_FALSE(retry);
  }
  // The alert went away without an answer: no retry.
  ui.alerts.clear();
  ui.answers = {std::nullopt};
  bool retry = false;
  NetworkErrorAlert(ui).report(NetworkError::notConnected(), retry);
  EXPECT_FALSE(retry);
  ASSERT_EQ(ui.alerts.size(), 1);
  EXPECT_EQ(ui.alerts[0].defaultButtonTitle, u"Retry"_s);
  EXPECT_EQ(ui.alerts[0].cancelButtonTitle, u"Cancel"_s);
}

TEST_F(DownloadFWInteractorTest, EachDownloadEndsWithTheBytesOrAnAlert) {
  const QString internet =
      u"Could not connect to the internet.\nCheck your internet connection and click Retry."_s;
  const QString missing = serverAlert(u"The firmware is not found."_s);
  enum class End { package, badData, empty, cancelled, cancelButton, none };
  struct Case {
    const char* name;
    End end;  // how the manager's download ends
    std::optional<QByteArray> data;
    QStringList alerts = {};
    std::deque<bool> connected = {};
    std::deque<std::optional<int>> answers = {};
    std::optional<QByteArray> localFirmware = {};
    QString localFile = {};  // local mode: the package's address
  };
  // clang-format off
  const Case cases[] = {
      {"the local package replaces the download", End::package, "LOCAL", {}, {}, {}, "LOCAL"},
      {"bad data", End::badData, {}, {serverAlert(u"Bad Data"_s)}},
      {"empty", End::empty, {}, {serverAlert(u"Empty Data"_s)}},
      {"cancelled", End::cancelled, {}},
      {"the Cancel button", End::cancelButton, {}},
      {"no internet: Retry, Cancel", End::none, {}, {internet, internet}, {false, false}, {1, 0}},
      {"no internet: Retry, connected", End::package, "PACKAGE", {internet}, {false, true}, {1}},
      {"local mode: no file", End::none, {}, {missing}, {}, {}, {}, u"file:///gone/fw.zip"_s},
      {"local mode: not a file", End::none, {}, {missing}, {}, {}, {}, u"https://example.test/fw.zip"_s},
  };
  // clang-format on
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    manager = std::make_shared<ScriptedDownloadManager>();
    manager->connectedAnswers = c.connected;
    manager->localFirmware = c.localFirmware;
    ui = ScriptedUserInterface{};
    ui.answers = c.answers;
    auto subject = c.localFile.isEmpty() ? interactor() : interactor(true, c.localFile);
    std::optional<QByteArray> data;
    const auto end = [&] {
      using Result = std::pair<std::optional<QByteArray>, std::optional<NetworkError>>;
      const Result results[] = {{"PACKAGE", std::nullopt},
                                {std::nullopt, NetworkError::generalError(u"Bad Data"_s)},
                                {std::nullopt, std::nullopt},
                                {std::nullopt, NetworkError::userCancelled()}};
      if (c.end == End::cancelButton) {
        ui.downloads.front().cancel();
      } else {
        const auto& [bytes, error] = results[static_cast<int>(c.end)];
        std::exchange(manager->pending, nullptr)(bytes, error);
      }
    };
    ASSERT_TRUE(run(*subject, data, c.end == End::none ? std::function<void()>() : end));
    EXPECT_EQ(data, c.data);
    EXPECT_EQ(ui.alertMessages(), c.alerts);
    EXPECT_EQ(manager->cancels, c.end == End::cancelButton ? 1 : 0);
    EXPECT_EQ(manager->downloads, c.localFile.isEmpty() && c.end != End::none ? 1 : 0);
    EXPECT_EQ(manager->checks,
              c.localFile.isEmpty() ? std::max<qsizetype>(c.connected.size(), 1) : 0);
    // One window for a download, closed at its end; none in local mode.
    EXPECT_EQ(ui.downloads.size(), c.localFile.isEmpty() ? 1U : 0U);
    EXPECT_TRUE(ui.downloads.empty() || ui.downloads.front().closed);
  }
}

TEST_F(DownloadFWInteractorTest, NoFirmwareInformationStartsNothing) {
  DownloadFWInteractor subject(UpdaterInfo{}, manager, std::make_shared<AudioDevice>(1, 2), ui,
                               false);
  EXPECT_FALSE(subject.start([](auto) { ADD_FAILURE() << "completion called"; }));
  EXPECT_EQ(manager->checks, 0);
  EXPECT_TRUE(ui.downloads.empty());
}

TEST_F(DownloadFWInteractorTest, TheWindowShowsThisDownloadsProgressOnly) {
  // An earlier download's sizes are not shown before this one begins.
  manager->total = 100;
  manager->received = 100;
  manager->started = QDateTime::currentDateTimeUtc();
  manager->connectedAnswers = {false};
  ui.answers = {0};
  {
    auto earlier = interactor();
    earlier->start([](auto) {});
    processEventsUntil([this] { return !ui.alerts.isEmpty(); }, 10s);
    EXPECT_TRUE(ui.downloads.front().progressValues.isEmpty());
  }

  ui = ScriptedUserInterface{};
  auto subject = interactor();
  QDateTime now = QDateTime::currentDateTimeUtc();
  subject->setClock([now] { return now; });
  std::optional<QByteArray> data;
  ASSERT_TRUE(run(*subject, data, [this, now] {
    manager->total = 40000000;
    manager->received = 10000000;
    manager->started = now.addSecs(-30);
    processEventsUntil([this] { return !ui.downloads.front().remainTimeIntervals.isEmpty(); }, 10s);
    std::exchange(manager->pending, nullptr)(QByteArray("PACKAGE"), std::nullopt);
  }));
  const auto& window = ui.downloads.front();
  EXPECT_EQ(window.progressValues.first(), 25);
  EXPECT_EQ(window.progressValues.last(), 100);
  EXPECT_DOUBLE_EQ(window.pastTimeIntervals.first(), 30.0);
  EXPECT_DOUBLE_EQ(window.remainTimeIntervals.first(), 90.0);
  EXPECT_FALSE(window.cancelEnabled);
}

}  // namespace
