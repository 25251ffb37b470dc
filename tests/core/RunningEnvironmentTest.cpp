#include "app/core/RunningEnvironment.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <csignal>

#include <string>
#include <vector>

namespace {

// Two processes started from a private copy of an executable count as two instances of
// it; processes of other executables do not count. They are started with posix_spawn: the
// way QProcess starts children upsets the thread sanitizer's view of this process.
TEST(RunningEnvironmentReal, CountsProcessesOfTheSameExecutable) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const QString copy = dir.filePath(QStringLiteral("instance"));
  ASSERT_TRUE(QFile::copy(QStringLiteral("/bin/sleep"), copy));
  QFile::setPermissions(copy, QFile::ReadOwner | QFile::ExeOwner);

  EXPECT_EQ(RunningEnvironmentReal::countProcesses(QStringLiteral("/proc"), copy, getuid()), 0);
  std::string program = copy.toStdString();
  std::string seconds = "30";
  char* const argv[] = {program.data(), seconds.data(), nullptr};
  std::vector<pid_t> processes;
  for (int i = 0; i < 2; ++i) {
    pid_t pid = 0;
    ASSERT_EQ(posix_spawn(&pid, program.c_str(), nullptr, nullptr, argv, environ), 0);
    processes.push_back(pid);
  }
  EXPECT_EQ(RunningEnvironmentReal::countProcesses(QStringLiteral("/proc"), copy, getuid()), 2);
  EXPECT_EQ(RunningEnvironmentReal::countProcesses(QStringLiteral("/proc"), copy, getuid() + 1), 0);
  for (const pid_t pid : processes) {
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
  }
}

}  // namespace
