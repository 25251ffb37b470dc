#include "tests/support/ToolProcess.h"

#include <QProcessEnvironment>

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <string>
#include <vector>

// Started with posix_spawn rather than QProcess: QProcess's vfork-style start runs the
// child inside the parent's memory, which corrupts the thread sanitizer's view of the test.
ToolRun runTool(const QStringList& arguments, const QStringList& environment) {
  return runProgram(QStringLiteral(TARNWELL_TOOL_PATH), arguments, environment);
}

ToolRun runProgram(const QString& program, const QStringList& arguments,
                   const QStringList& environment, const std::optional<QByteArray>& input) {
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  for (const char* name : {"LANGUAGE", "LC_ALL", "LC_MESSAGES", "LANG"}) {
    env.remove(QString::fromLatin1(name));
  }
  for (const QString& assignment : environment) {
    const qsizetype at = assignment.indexOf(QLatin1Char('='));
    env.insert(assignment.left(at), assignment.mid(at + 1));
  }
  std::vector<std::string> argumentStrings{program.toStdString()};
  for (const QString& argument : arguments) {
    argumentStrings.push_back(argument.toStdString());
  }
  std::vector<std::string> environmentStrings;
  for (const QString& assignment : env.toStringList()) {
    environmentStrings.push_back(assignment.toStdString());
  }
  const auto pointers = [](std::vector<std::string>& strings) {
    std::vector<char*> result;
    result.reserve(strings.size() + 1);
    for (std::string& string : strings) {
      result.push_back(string.data());
    }
    result.push_back(nullptr);
    return result;
  };
  std::vector<char*> argv = pointers(argumentStrings);
  std::vector<char*> envp = pointers(environmentStrings);

  ToolRun run;
  std::array<int, 2> out{-1, -1};
  std::array<int, 2> err{-1, -1};
  std::array<int, 2> in{-1, -1};
  if (pipe2(out.data(), O_CLOEXEC) != 0 || pipe2(err.data(), O_CLOEXEC) != 0 ||
      (input && socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, in.data()) != 0)) {
    return run;
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
  posix_spawn_file_actions_adddup2(&actions, err[1], STDERR_FILENO);
  if (input) {
    posix_spawn_file_actions_adddup2(&actions, in[0], STDIN_FILENO);
  }
  pid_t pid = 0;
  const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  close(out[1]);
  close(err[1]);
  if (input) {
    close(in[0]);
    // Answers are a few lines, well within the socket's buffer: written before any output is
    // read, they cannot block. A socket rather than a pipe, so that a child that has already
    // gone costs an error, not a SIGPIPE.
    if (spawned == 0 && !input->isEmpty()) {
      [[maybe_unused]] const ssize_t written =
          send(in[1], input->constData(), static_cast<size_t>(input->size()), MSG_NOSIGNAL);
    }
    close(in[1]);
  }
  // Both pipes are drained together, so a child that fills one never blocks on it.
  std::array<QByteArray, 2> captured;
  std::array<pollfd, 2> fds{pollfd{out[0], POLLIN, 0}, pollfd{err[0], POLLIN, 0}};
  while (spawned == 0 && (fds[0].fd >= 0 || fds[1].fd >= 0)) {
    if (poll(fds.data(), fds.size(), 120000) <= 0) {
      break;
    }
    for (size_t i = 0; i < fds.size(); ++i) {
      if (fds[i].fd < 0 || fds[i].revents == 0) {
        continue;
      }
      std::array<char, 65536> buffer{};
      const ssize_t n = read(fds[i].fd, buffer.data(), buffer.size());
      if (n <= 0) {
        close(fds[i].fd);
        fds[i].fd = -1;
      } else {
        captured[i].append(buffer.data(), n);
      }
    }
  }
  for (const pollfd& fd : fds) {
    if (fd.fd >= 0) {
      close(fd.fd);
    }
  }
  int status = 0;
  if (spawned == 0 && waitpid(pid, &status, 0) == pid && WIFEXITED(status)) {
    run.status = WEXITSTATUS(status);
  }
  run.out = QString::fromUtf8(captured[0]);
  run.err = QString::fromUtf8(captured[1]);
  return run;
}
