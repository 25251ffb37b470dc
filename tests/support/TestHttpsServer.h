#pragma once

#include <QByteArray>
#include <QCoreApplication>
#include <QString>
#include <QTemporaryDir>
#include <QUrl>

#include <chrono>
#include <functional>

#include <sys/types.h>

// The one application object of the test binary; Qt Network wants one.
QCoreApplication& testApplication();

// Spins the event loop until `done` holds; false when it did not within a generous bound
// (a hang guard, not a timing assertion).
bool processEventsUntil(const std::function<bool()>& done,
                        std::chrono::seconds bound = std::chrono::seconds(60));

// The local HTTPS stand-in for the update service (https_server.py) with a self-signed
// certificate made for this run, trusted only by whoever is given caFile().
class TestHttpsServer final {
 public:
  TestHttpsServer();
  ~TestHttpsServer();
  TestHttpsServer(const TestHttpsServer&) = delete;
  TestHttpsServer& operator=(const TestHttpsServer&) = delete;

  bool isRunning() const { return port_ > 0; }
  QString caFile() const { return dir_.filePath(QStringLiteral("cert.pem")); }
  QUrl url(const QString& pathAndQuery) const;
  // How often a path was requested.
  int hits(const QString& path) const;
  QByteArray lastRequest() const;
  void setAnswer(const QByteArray& answer) const;
  // Serves `data` at url("/files/" + name).
  void addFile(const QString& name, const QByteArray& data) const;
  void reset() const;

 private:
  QTemporaryDir dir_;
  QString recordDir_;
  int input_ = -1;  // the server's standard input
  pid_t pid_ = 0;
  int port_ = 0;
};
