#include "tests/support/ToolProcess.h"

#include <QProcessEnvironment>

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

std::optional<pid_t> startProcess(const QStringList& command, std::array<int, 3> streams,
                                  const std::optional<QStringList>& environment) {
  std::vector<std::string> strings;
  strings.reserve(static_cast<size_t>(command.size() + environment.value_or(QStringList()).size()));
  for (const QString& word : command + environment.value_or(QStringList())) {
    strings.push_back(word.toStdString());
  }
  std::vector<char*> pointers;
  pointers.reserve(strings.size() + 2);
  for (std::string& string : strings) {
    pointers.push_back(string.data());
  }
  pointers.insert(pointers.begin() + command.size(), nullptr);
  pointers.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  for (int stream = 0; stream < 3; ++stream) {
    if (streams[stream] == -2) {
      posix_spawn_file_actions_addopen(&actions, stream, "/dev/null", O_RDWR, 0);
    } else if (streams[stream] >= 0) {
      posix_spawn_file_actions_adddup2(&actions, streams[stream], stream);
    }
  }
  pid_t pid = 0;
  char** const envp = environment ? pointers.data() + command.size() + 1 : environ;
  const int failed = posix_spawnp(&pid, pointers[0], &actions, nullptr, pointers.data(), envp);
  posix_spawn_file_actions_destroy(&actions);
  return failed == 0 ? std::optional(pid) : std::nullopt;
}

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
  ToolRun run;
  std::array<int, 2> out{-1, -1};
  std::array<int, 2> err{-1, -1};
  std::array<int, 2> in{-1, -1};
  if (pipe2(out.data(), O_CLOEXEC) != 0 || pipe2(err.data(), O_CLOEXEC) != 0 ||
      (input && socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, in.data()) != 0)) {
    return run;
  }
  const std::optional<pid_t> pid =
      startProcess(QStringList{program} + arguments, {in[0], out[1], err[1]}, env.toStringList());
  close(out[1]);
  close(err[1]);
  if (input) {
    close(in[0]);
    // Answers are a few lines, well within the socket's buffer: written before any output is
    // read, they cannot block. A socket rather than a pipe, so that a child that has already
    // gone costs an error, not a SIGPIPE.
    if (pid && !input->isEmpty()) {
      [[maybe_unused]] const ssize_t written =
          send(in[1], input->constData(), static_cast<size_t>(input->size()), MSG_NOSIGNAL);
    }
    close(in[1]);
  }
  // Both pipes are drained together, so a child that fills one never blocks on it.
  std::array<QByteArray, 2> captured;
  std::array<pollfd, 2> fds{pollfd{out[0], POLLIN, 0}, pollfd{err[0], POLLIN, 0}};
  while (pid && (fds[0].fd >= 0 || fds[1].fd >= 0) && poll(fds.data(), fds.size(), 120000) > 0) {
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
  if (pid && waitpid(*pid, &status, 0) == *pid && WIFEXITED(status)) {
    run.status = WEXITSTATUS(status);
  }
  run.out = QString::fromUtf8(captured[0]);
  run.err = QString::fromUtf8(captured[1]);
  return run;
}
