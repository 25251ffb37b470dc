#include "tests/support/TestHttpsServer.h"

#include "tests/support/ToolProcess.h"

#include <QDir>
#include <QFile>

#include <array>
#include <string>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>
#include <csignal>

using namespace Qt::StringLiterals;

TestHttpsServer::TestHttpsServer() {
  if (!dir_.isValid()) {
    return;
  }
  recordDir_ = dir_.filePath(u"record"_s);
  QDir().mkpath(recordDir_);
  const std::optional<pid_t> openssl = startProcess(
      {u"openssl"_s, u"req"_s, u"-x509"_s, u"-newkey"_s, u"ec"_s, u"-pkeyopt"_s,
       u"ec_paramgen_curve:prime256v1"_s, u"-nodes"_s, u"-days"_s, u"2"_s, u"-subj"_s,
       u"/CN=localhost"_s, u"-addext"_s, u"subjectAltName=DNS:localhost,IP:127.0.0.1"_s,
       u"-keyout"_s, dir_.filePath(u"key.pem"_s), u"-out"_s, caFile()},
      {-1, -2, -2});
  int status = 0;
  if (!openssl || waitpid(*openssl, &status, 0) != *openssl || !WIFEXITED(status) ||
      WEXITSTATUS(status) != 0) {
    return;
  }
  // The server ends when its standard input closes, so it does not outlive a crashed test.
  std::array<int, 2> input{-1, -1};
  std::array<int, 2> output{-1, -1};
  if (pipe2(input.data(), O_CLOEXEC) != 0 || pipe2(output.data(), O_CLOEXEC) != 0) {
    return;
  }
  const std::optional<pid_t> server =
      startProcess({u"python3"_s, QStringLiteral(TARNWELL_HTTPS_SERVER), caFile(),
                    dir_.filePath(u"key.pem"_s), recordDir_, u"--exit-with-stdin"_s},
                   {input[0], output[1], -1});
  close(input[0]);
  close(output[1]);
  input_ = input[1];
  if (!server) {
    close(output[0]);
    return;
  }
  pid_ = *server;
  // The first line is the port.
  std::string line;
  char c = 0;
  while (read(output[0], &c, 1) == 1 && c != '\n') {
    line += c;
  }
  close(output[0]);
  port_ = QByteArray::fromStdString(line).toInt();
}

TestHttpsServer::~TestHttpsServer() {
  if (input_ >= 0) {
    close(input_);
  }
  if (pid_ > 0) {
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
  }
}

QUrl TestHttpsServer::url(const QString& pathAndQuery) const {
  return QUrl(u"https://localhost:%1%2"_s.arg(port_).arg(pathAndQuery));
}

int TestHttpsServer::hits(const QString& path) const {
  QString name = path.mid(1);
  name.replace(QLatin1Char('/'), QLatin1Char('_'));
  QFile file(recordDir_ + u"/hits-"_s + name);
  return file.open(QIODevice::ReadOnly) ? file.readAll().toInt() : 0;
}

QByteArray TestHttpsServer::lastRequest() const {
  QFile file(recordDir_ + u"/last-request"_s);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void TestHttpsServer::setAnswer(const QByteArray& answer) const {
  QFile file(recordDir_ + u"/answer.xml"_s);
  if (file.open(QIODevice::WriteOnly)) {
    file.write(answer);
  }
}

void TestHttpsServer::addFile(const QString& name, const QByteArray& data) const {
  QDir().mkpath(recordDir_ + u"/files"_s);
  QFile file(recordDir_ + u"/files/"_s + name);
  if (file.open(QIODevice::WriteOnly)) {
    file.write(data);
  }
}

QByteArray TestHttpsServer::offer(const QString& version, const QString& fileName,
                                  qint64 fileSize) const {
  return QStringLiteral(
             "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<firmware_result>"
             "<revision>0001</revision><firmwares><firmware_info>"
             "<maker_code>KVO</maker_code><model_name>VR-5201</model_name>"
             "<model_id>0220</model_id><hardware_kind>DVR</hardware_kind>"
             "<version>%1</version><file_name>%2</file_name><file_size>%3</file_size>"
             "<url>%4</url><up_date>20261201 10:00:00</up_date><comment>Better.</comment>"
             "<detail_url></detail_url><extension_comment></extension_comment>"
             "</firmware_info></firmwares></firmware_result>")
      .arg(version, fileName, QString::number(fileSize), url(u"/files/"_s + fileName).toString())
      .toUtf8();
}

void TestHttpsServer::reset() const {
  QDir record(recordDir_);
  for (const QString& name : record.entryList(QDir::Files)) {
    record.remove(name);
  }
}
