#include "app/core/Logger.h"

#include <gtest/gtest.h>

#include <QStringList>

#include <mutex>

using namespace Qt::StringLiterals;

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
  logger.log(u"hidden"_s);
  logger.setLoggerEnabled(true);
  logger.log(u"Send: C6 01"_s);
  logger.setLoggerEnabled(false);
  logger.setSink(nullptr);
  EXPECT_EQ(sink->lines, QStringList{u"QXSYSTEM Send: C6 01"_s});
}

}  // namespace
