// The system's mount table against real tmpfs mounts (as root; skipped otherwise) and a
// recorded mountinfo file.
#include "platform/volume/MountMonitor.h"
#include "platform/volume/MountTable.h"
#include "tests/platform/VolumeTestSupport.h"

#include <fcntl.h>
#include <sys/mount.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QThread>

#include <algorithm>
#include <fstream>
#include <future>
#include <thread>

namespace {

const std::string kMountInfo = TARNWELL_TEST_DATA_DIR "/volume/mountinfo";
constexpr size_t kMiB = size_t{1024} * 1024;

MountTableOptions fromFile(const std::string& path) {
  MountTableOptions options;
  options.mountInfoPath = path;
  return options;
}

bool listed(MountTable& table, const MountedVolume& volume) {
  const auto volumes = table.mountedVolumes();
  return std::find(volumes.begin(), volumes.end(), volume) != volumes.end();
}

TEST(MountTableFile, ReadsEveryReadableLineInOrderWithEscapesUndone) {
  MountTable table(fromFile(kMountInfo));
  EXPECT_EQ(table.mountedVolumes(), (std::vector<MountedVolume>{
                                        {"/", "/dev/sda2"},
                                        {"/proc", "proc"},
                                        {"/media/user/My Recorder", "/dev/sdb1"},
                                        {"/media/user/REC2", "/dev/sdb2"},
                                        {"/media/user/My Recorder", "over"},
                                    }));
  const auto entries = MountTable::readMountInfo(kMountInfo);
  ASSERT_TRUE(entries);
  EXPECT_EQ(entries->at(2).id, 61);
  // The source is the visible mount at exactly that point.
  const std::pair<std::string, std::optional<std::string>> cases[] = {
      {"/media/user/REC2", "/dev/sdb2"},
      {"/media/user/My Recorder", "over"},  // mounted on top of /dev/sdb1
      {"/media/user/REC2/", std::nullopt},
      {"/media/user", std::nullopt},
      {"/media/user/REC2/System", std::nullopt},
  };
  for (const auto& [mountPoint, source] : cases) {
    EXPECT_EQ(table.sourceOf(mountPoint), source) << mountPoint;
  }
  // An unreadable table is empty.
  MountTable unreadable(fromFile("/nonexistent/mountinfo"));
  EXPECT_TRUE(unreadable.mountedVolumes().empty());
  EXPECT_EQ(unreadable.sourceOf("/"), std::nullopt);
  EXPECT_EQ(MountTable::readMountInfo("/nonexistent/mountinfo"), std::nullopt);
}

TEST(MountMonitorDiff, ReportsMountsThatWereNotThereBefore) {
  const MountInfoEntry root{1, {"/", "/dev/sda2"}};
  const MountInfoEntry recorder{40, {"/media/REC", "/dev/sdb1"}};
  const MountInfoEntry recorderAgain{41, {"/media/REC", "/dev/sdb1"}};
  const MountInfoEntry other{42, {"/media/STICK", "/dev/sdc1"}};
  struct Case {
    const char* name;
    std::vector<MountInfoEntry> previous, current;
    std::vector<MountedVolume> expected;
  };
  const Case cases[] = {
      {"unchanged", {root, recorder}, {root, recorder}, {}},
      {"unmounted", {root, recorder}, {root}, {}},
      {"mounted", {root}, {root, recorder}, {recorder.volume}},
      {"mounted again under a new ID",
       {root, recorder},
       {root, recorderAgain},
       {recorderAgain.volume}},
      {"two, in table order", {root}, {root, other, recorder}, {other.volume, recorder.volume}},
      {"from nothing", {}, {root}, {root.volume}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(MountMonitor::newVolumes(c.previous, c.current), c.expected) << c.name;
  }
}

// Listing a mount, its free space and unmounting it (or one that is not there) are the tool's
// mount rows; here are what a file on the volume changes.
TEST(MountTable, MeasuresAndUnmountsATmpfsOnAThreadOfItsOwn) {
  // First: the mount moves this thread into a mount namespace of its own, and the table's
  // worker thread, started after it, must see the same mounts.
  const TmpfsMount mount;
  SKIP_WITHOUT_MOUNT(mount);
  MountTable table;
  const MountedVolume volume{mount.path(), "tarnwell-test-src"};
  {
    std::ofstream file(mount.path() + "/firmware.bin", std::ios::binary);
    file << std::string(kMiB, 'x');
  }
  const auto used = table.space(mount.path() + "/firmware.bin");
  ASSERT_TRUE(used);
  EXPECT_EQ(used->freeBytes, TmpfsMount::kSize - kMiB);
  EXPECT_EQ(table.space(mount.path() + "/missing"), std::nullopt);

  // Busy: stays mounted with the system's reason.
  const int file = open((mount.path() + "/open").c_str(), O_CREAT | O_RDWR | O_CLOEXEC, 0600);
  ASSERT_GE(file, 0);
  EXPECT_EQ(unmountAndWait(table, mount.path()), "Device or resource busy");
  EXPECT_TRUE(listed(table, volume));
  close(file);

  std::promise<std::pair<std::optional<std::string>, std::thread::id>> done;
  table.unmount(mount.path(), [&done](std::optional<std::string> error) {
    done.set_value({std::move(error), std::this_thread::get_id()});
  });
  auto future = done.get_future();
  ASSERT_EQ(future.wait_for(std::chrono::seconds(10)), std::future_status::ready);
  const auto [error, thread] = future.get();
  EXPECT_EQ(error, std::nullopt);
  EXPECT_NE(thread, std::this_thread::get_id());
}

// The monitor behind the wait of a mode change.
TEST(MountTable, TellsTheMainThreadOfNewMountsAndStopsWithTheLastObserver) {
  TmpfsMount mount;
  SKIP_WITHOUT_MOUNT(mount);
  testApplication();
  MountTable table;
  const MountedVolume mine{mount.path(), "tarnwell-test-again"};
  std::vector<MountedVolume> seen;
  bool onMainThread = true;
  const int token = table.addMountObserver([&](const MountedVolume& volume) {
    onMainThread = onMainThread && QThread::currentThread() == qApp->thread();
    if (volume.mountPoint == mine.mountPoint) {
      seen.push_back(volume);
    }
  });
  const auto count = [&seen, &mine] { return std::count(seen.begin(), seen.end(), mine); };
  ASSERT_TRUE(mount.mountAgain(mine.source));
  EXPECT_TRUE(processEventsUntil([&] { return count() == 1; }));
  // Unmounted and mounted again at once: the kernel may report one change and give the
  // new mount the old one's ID.
  ASSERT_EQ(unmountAndWait(table, mine.mountPoint), std::nullopt);
  ASSERT_TRUE(mount.mountAgain(mine.source));
  EXPECT_TRUE(processEventsUntil([&] { return count() == 2; }));
  EXPECT_TRUE(onMainThread);
  table.removeMountObserver(token);

  // An observer may remove itself (one-shot, as an armed mode change is): the monitor stops.
  int calls = 0;
  int once = 0;
  once = table.addMountObserver([&](const MountedVolume&) {
    ++calls;
    table.removeMountObserver(once);
  });
  ASSERT_TRUE(mount.mountAgain("tarnwell-test-once"));
  ASSERT_TRUE(mount.mountAgain("tarnwell-test-twice"));
  EXPECT_TRUE(processEventsUntil([&] { return calls > 0; }));
  processEventsUntil([] { return false; }, std::chrono::seconds(1));
  EXPECT_EQ(calls, 1);
}

}  // namespace
