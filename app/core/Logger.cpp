#include "app/core/Logger.h"

#include "platform/Bundle.h"

#include <systemd/sd-journal.h>

#include <QFileInfo>

#include <cstdio>

namespace {

class JournalSink final : public LogSink {
 public:
  explicit JournalSink(QByteArray identifier) : identifier_(std::move(identifier)) {}

  void write(const QString& category, const QString& message) override {
    const QByteArray text = message.toUtf8();
    sd_journal_send("MESSAGE=%s", text.constData(), "PRIORITY=6", "SYSLOG_IDENTIFIER=%s",
                    identifier_.constData(), "TARNWELL_CATEGORY=%s", category.toUtf8().constData(),
                    nullptr);
  }

 private:
  QByteArray identifier_;
};

// Without a journal (containers, CI) the lines go to standard error.
class StderrSink final : public LogSink {
 public:
  explicit StderrSink(QByteArray identifier) : identifier_(std::move(identifier)) {}

  void write(const QString& category, const QString& message) override {
    std::fprintf(stderr, "%s[%s]: %s\n", identifier_.constData(), category.toUtf8().constData(),
                 message.toUtf8().constData());
  }

 private:
  QByteArray identifier_;
};

std::shared_ptr<LogSink> defaultSink() {
  QByteArray identifier = Bundle::main().identifier().toUtf8();
  if (identifier.isEmpty()) {
    identifier = "tarnwell";
  }
  if (QFileInfo::exists(QStringLiteral("/run/systemd/journal/socket"))) {
    return std::make_shared<JournalSink>(identifier);
  }
  return std::make_shared<StderrSink>(identifier);
}

}  // namespace

Logger::Logger() : sink_(defaultSink()) {}

Logger& Logger::shared() {
  static Logger logger;
  return logger;
}

void Logger::log(const QString& message) {
  if (!isLoggerEnabled()) {
    return;
  }
  std::shared_ptr<LogSink> sink;
  {
    const std::lock_guard lock(mutex_);
    sink = sink_;
  }
  sink->write(QLatin1String(kCategory), message);
}

void Logger::setSink(std::shared_ptr<LogSink> sink) {
  const std::lock_guard lock(mutex_);
  sink_ = sink ? std::move(sink) : defaultSink();
}
