#include "app/core/RunningEnvironment.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <unistd.h>

#include <memory>
#include <vector>

namespace {

// Two processes started from a private copy of an executable count as two instances of
// it; processes of other executables do not count.
TEST(RunningEnvironmentReal, CountsProcessesOfTheSameExecutable) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const QString copy = dir.filePath(QStringLiteral("instance"));
  ASSERT_TRUE(QFile::copy(QStringLiteral("/bin/sleep"), copy));
  QFile::setPermissions(copy, QFile::ReadOwner | QFile::ExeOwner);

  EXPECT_EQ(RunningEnvironmentReal::countProcesses(QStringLiteral("/proc"), copy, getuid()), 0);
  std::vector<std::unique_ptr<QProcess>> processes;
  for (int i = 0; i < 2; ++i) {
    auto process = std::make_unique<QProcess>();
    process->start(copy, {QStringLiteral("30")});
    ASSERT_TRUE(process->waitForStarted());
    processes.push_back(std::move(process));
  }
  EXPECT_EQ(RunningEnvironmentReal::countProcesses(QStringLiteral("/proc"), copy, getuid()), 2);
  EXPECT_EQ(RunningEnvironmentReal::countProcesses(QStringLiteral("/proc"), copy, getuid() + 1), 0);
  for (auto& process : processes) {
    process->kill();
    process->waitForFinished();
  }
}

}  // namespace
