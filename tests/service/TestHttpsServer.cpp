#include "tests/service/TestHttpsServer.h"

#include <QDir>
#include <QFile>
#include <QThread>

#include <chrono>

// OpenSSL frees the per-thread state of a network thread when the thread ends, which may be
// just after the process's leak check in sanitizer builds (see lsan.supp).
// The sanitizer runtime looks this reserved name up.
// NOLINTNEXTLINE(bugprone-reserved-identifier)
extern "C" const char* __lsan_default_suppressions() { return "leak:libcrypto.so\n"; }

QCoreApplication& testApplication() {
  static int argc = 1;
  static char name[] = "test_service";
  static char* argv[] = {name, nullptr};
  static QCoreApplication application(argc, argv);
  return application;
}

bool processEventsUntil(const std::function<bool()>& done, std::chrono::seconds bound) {
  testApplication();
  const auto end = std::chrono::steady_clock::now() + bound;
  while (!done()) {
    if (std::chrono::steady_clock::now() > end) {
      return false;
    }
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    QThread::msleep(2);
  }
  return true;
}

TestHttpsServer::TestHttpsServer() {
  if (!dir_.isValid()) {
    return;
  }
  recordDir_ = dir_.filePath(QStringLiteral("record"));
  QDir().mkpath(recordDir_);
  const int made = QProcess::execute(
      QStringLiteral("openssl"),
      {QStringLiteral("req"), QStringLiteral("-x509"), QStringLiteral("-newkey"),
       QStringLiteral("ec"), QStringLiteral("-pkeyopt"),
       QStringLiteral("ec_paramgen_curve:prime256v1"), QStringLiteral("-nodes"),
       QStringLiteral("-days"), QStringLiteral("2"), QStringLiteral("-subj"),
       QStringLiteral("/CN=localhost"), QStringLiteral("-addext"),
       QStringLiteral("subjectAltName=DNS:localhost,IP:127.0.0.1"), QStringLiteral("-keyout"),
       dir_.filePath(QStringLiteral("key.pem")), QStringLiteral("-out"), caFile()});
  if (made != 0) {
    return;
  }
  process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
  process_.start(QStringLiteral("python3"), {QStringLiteral(TARNWELL_HTTPS_SERVER), caFile(),
                                             dir_.filePath(QStringLiteral("key.pem")), recordDir_,
                                             QStringLiteral("--exit-with-stdin")});
  if (!process_.waitForStarted() || !process_.waitForReadyRead(30000)) {
    return;
  }
  port_ = process_.readLine().trimmed().toInt();
}

TestHttpsServer::~TestHttpsServer() {
  process_.kill();
  process_.waitForFinished();
}

QUrl TestHttpsServer::url(const QString& pathAndQuery) const {
  return QUrl(QStringLiteral("https://localhost:%1%2").arg(port_).arg(pathAndQuery));
}

int TestHttpsServer::hits(const QString& path) const {
  QString name = path.mid(1);
  name.replace(QLatin1Char('/'), QLatin1Char('_'));
  QFile file(recordDir_ + QStringLiteral("/hits-") + name);
  return file.open(QIODevice::ReadOnly) ? file.readAll().toInt() : 0;
}

QByteArray TestHttpsServer::lastRequest() const {
  QFile file(recordDir_ + QStringLiteral("/last-request"));
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void TestHttpsServer::setAnswer(const QByteArray& answer) const {
  QFile file(recordDir_ + QStringLiteral("/answer.xml"));
  if (file.open(QIODevice::WriteOnly)) {
    file.write(answer);
  }
}

void TestHttpsServer::reset() const {
  QDir record(recordDir_);
  for (const QString& name : record.entryList(QDir::Files)) {
    record.remove(name);
  }
}
