#include "app/core/RunningEnvironment.h"
#include "tests/support/ToolProcess.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include <sys/wait.h>
#include <unistd.h>
#include <csignal>

#include <vector>

using namespace Qt::StringLiterals;

namespace {

// Two processes started from a private copy of an executable count as two instances of
// it; processes of other executables do not count.
TEST(RunningEnvironmentReal, CountsProcessesOfTheSameExecutable) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const QString copy = dir.filePath(u"instance"_s);
  ASSERT_TRUE(QFile::copy(u"/bin/sleep"_s, copy));
  QFile::setPermissions(copy, QFile::ReadOwner | QFile::ExeOwner);

  EXPECT_EQ(RunningEnvironmentReal::countProcesses(u"/proc"_s, copy, getuid()), 0);
  std::vector<pid_t> processes;
  for (int i = 0; i < 2; ++i) {
    const std::optional<pid_t> pid = startProcess({copy, u"30"_s});
    ASSERT_TRUE(pid);
    processes.push_back(*pid);
  }
  EXPECT_EQ(RunningEnvironmentReal::countProcesses(u"/proc"_s, copy, getuid()), 2);
  EXPECT_EQ(RunningEnvironmentReal::countProcesses(u"/proc"_s, copy, getuid() + 1), 0);
  for (const pid_t pid : processes) {
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
  }
}

}  // namespace
