#pragma once

#include "tests/support/EventLoop.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QString>
#include <QTemporaryDir>
#include <QUrl>

#include <chrono>
#include <functional>

#include <sys/types.h>

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
  // The service's answer offering the package `fileName` of `fileSize` bytes, served at
  // url("/files/" + fileName), as version `version` (eight digits).
  QByteArray offer(const QString& version, const QString& fileName, qint64 fileSize) const;
  void reset() const;

 private:
  QTemporaryDir dir_;
  QString recordDir_;
  int input_ = -1;  // the server's standard input
  pid_t pid_ = 0;
  int port_ = 0;
};
