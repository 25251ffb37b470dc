#include "tests/support/TestHttpsServer.h"

#include <QDir>
#include <QFile>

#include <array>
#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <csignal>

namespace {

// Starts a program found on PATH. Qt's QProcess starts children in a way (a clone sharing the
// parent's memory) that corrupts the thread checker's view of the parent thread, after which
// it reports races everywhere; posix_spawn does not. `in` and `out` become the child's standard
// input and output when not -1; `quiet` sends its output to /dev/null.
std::optional<pid_t> spawn(const std::vector<std::string>& arguments, int in, int out, bool quiet) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (in >= 0) {
    posix_spawn_file_actions_adddup2(&actions, in, STDIN_FILENO);
  }
  if (out >= 0) {
    posix_spawn_file_actions_adddup2(&actions, out, STDOUT_FILENO);
  } else if (quiet) {
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  }
  std::vector<std::string> copies = arguments;
  std::vector<char*> argv;
  argv.reserve(copies.size() + 1);
  for (std::string& argument : copies) {
    argv.push_back(argument.data());
  }
  argv.push_back(nullptr);
  pid_t pid = 0;
  const int failed = posix_spawnp(&pid, argv.front(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  return failed == 0 ? std::optional(pid) : std::nullopt;
}

}  // namespace

TestHttpsServer::TestHttpsServer() {
  if (!dir_.isValid()) {
    return;
  }
  recordDir_ = dir_.filePath(QStringLiteral("record"));
  QDir().mkpath(recordDir_);
  const std::optional<pid_t> openssl = spawn(
      {"openssl", "req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1",
       "-nodes", "-days", "2", "-subj", "/CN=localhost", "-addext",
       "subjectAltName=DNS:localhost,IP:127.0.0.1", "-keyout",
       dir_.filePath(QStringLiteral("key.pem")).toStdString(), "-out", caFile().toStdString()},
      -1, -1, true);
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
      spawn({"python3", TARNWELL_HTTPS_SERVER, caFile().toStdString(),
             dir_.filePath(QStringLiteral("key.pem")).toStdString(), recordDir_.toStdString(),
             "--exit-with-stdin"},
            input[0], output[1], false);
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

void TestHttpsServer::addFile(const QString& name, const QByteArray& data) const {
  QDir().mkpath(recordDir_ + QStringLiteral("/files"));
  QFile file(recordDir_ + QStringLiteral("/files/") + name);
  if (file.open(QIODevice::WriteOnly)) {
    file.write(data);
  }
}

void TestHttpsServer::reset() const {
  QDir record(recordDir_);
  for (const QString& name : record.entryList(QDir::Files)) {
    record.remove(name);
  }
}
