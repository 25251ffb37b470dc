// tarnwell-tool's mounts and unmount commands, run as a separate process against a tmpfs.
#include "tests/platform/VolumeTestSupport.h"
#include "tests/support/QStringPrinter.h"
#include "tests/support/ToolProcess.h"

#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

namespace {

TEST(VolumeTool, ListsAMountAndUnmountsIt) {
  TmpfsMount mount;
  SKIP_WITHOUT_MOUNT(mount);
  const QString path = QString::fromStdString(mount.path());
  const ToolRun listed = runTool({QStringLiteral("mounts")});
  EXPECT_EQ(listed.status, 0);
  EXPECT_TRUE(listed.out.contains(QStringLiteral("\nmountPoint=%1\nsource=tarnwell-test-src\n"
                                                 "freeBytes=4194304\n")
                                      .arg(path)))
      << listed.out.toStdString();

  const int file = open((mount.path() + "/open").c_str(), O_CREAT | O_RDWR | O_CLOEXEC, 0600);
  ASSERT_GE(file, 0);
  const ToolRun busy = runTool({QStringLiteral("unmount"), path});
  close(file);
  EXPECT_EQ(busy.status, 1);
  EXPECT_EQ(
      busy.err,
      QStringLiteral("tarnwell-tool: cannot unmount %1: Device or resource busy\n").arg(path));

  const ToolRun unmounted = runTool({QStringLiteral("unmount"), path});
  EXPECT_EQ(unmounted.status, 0);
  EXPECT_EQ(unmounted.out, QString());
  EXPECT_FALSE(runTool({QStringLiteral("mounts")}).out.contains(path));
}

TEST(VolumeTool, ReportsFailuresAndBadUsage) {
  const std::pair<QStringList, int> cases[] = {
      {{QStringLiteral("unmount"), QStringLiteral("/nonexistent/volume")}, 1},
      {{QStringLiteral("unmount")}, 2},
      {{QStringLiteral("unmount"), QStringLiteral("/a"), QStringLiteral("/b")}, 2},
      {{QStringLiteral("mounts"), QStringLiteral("/a")}, 2},
  };
  for (const auto& [arguments, status] : cases) {
    const ToolRun run = runTool(arguments);
    EXPECT_EQ(run.status, status) << arguments.join(u' ').toStdString();
    EXPECT_EQ(run.err.count(u'\n'), 1) << run.err.toStdString();
    EXPECT_TRUE(run.out.isEmpty());
  }
  EXPECT_EQ(runTool({QStringLiteral("unmount"), QStringLiteral("/nonexistent/volume")}).err,
            QStringLiteral("tarnwell-tool: cannot unmount /nonexistent/volume: Not mounted\n"));
}

}  // namespace
