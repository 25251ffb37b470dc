#include "app/core/Logger.h"

#include <gtest/gtest.h>

#include <QStringList>

#include <thread>
#include <vector>

namespace {

class RecordingSink final : public LogSink {
 public:
  void write(const QString& category, const QString& message) override {
    const std::lock_guard lock(mutex_);
    lines << category + QLatin1Char(' ') + message;
  }
  QStringList lines;

 private:
  std::mutex mutex_;
};

TEST(Logger, WritesOnlyWhileEnabled) {
  auto sink = std::make_shared<RecordingSink>();
  Logger& logger = Logger::shared();
  logger.setSink(sink);
  logger.setLoggerEnabled(false);
  logger.log(QStringLiteral("hidden"));
  logger.setLoggerEnabled(true);
  logger.log(QStringLiteral("Send: C6 01"));
  logger.setLoggerEnabled(false);
  logger.setSink(nullptr);
  EXPECT_EQ(sink->lines, QStringList{QStringLiteral("QXSYSTEM Send: C6 01")});
}

TEST(Logger, LinesFromManyThreadsAllArrive) {
  auto sink = std::make_shared<RecordingSink>();
  Logger& logger = Logger::shared();
  logger.setSink(sink);
  logger.setLoggerEnabled(true);
  std::vector<std::thread> threads;
  threads.reserve(4);
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&logger] {
      for (int i = 0; i < 100; ++i) {
        logger.log(QStringLiteral("line"));
      }
    });
  }
  for (auto& thread : threads) {
    thread.join();
  }
  logger.setLoggerEnabled(false);
  logger.setSink(nullptr);
  EXPECT_EQ(sink->lines.size(), 400);
}

}  // namespace
