// Folders standing in for volumes, as the virtual recorder uses them.
#include "platform/volume/InMemoryVolumeTable.h"
#include "platform/volume/MountTable.h"
#include "tests/platform/VolumeTestSupport.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QThread>

#include <fstream>
#include <future>
#include <thread>

using namespace Qt::StringLiterals;

namespace {

class InMemoryVolumeTableTest : public testing::Test {
 protected:
  void SetUp() override {
    testApplication();
    ASSERT_TRUE(dir_.isValid());
    ASSERT_TRUE(QDir(dir_.path()).mkpath(u"REC/System"_s));
    ASSERT_TRUE(QDir(dir_.path()).mkpath(u"STICK"_s));
  }

  std::string path(const char* name) const {
    return dir_.filePath(QString::fromUtf8(name)).toStdString();
  }

  QTemporaryDir dir_;
  InMemoryVolumeTable table_;
};

TEST_F(InMemoryVolumeTableTest, MountsExistingFoldersInOrderOnceWithTheirSpace) {
  EXPECT_TRUE(table_.mount(path("REC") + "/", "/dev/sdb1", 1000));
  EXPECT_TRUE(table_.mount(path("STICK"), "/dev/sdc1"));
  EXPECT_FALSE(table_.mount(path("REC"), "/dev/sdd1"));  // already mounted there
  EXPECT_FALSE(table_.mount(path("missing"), "/dev/sde1"));
  const std::vector<MountedVolume> expected = {{path("REC"), "/dev/sdb1"},
                                               {path("STICK"), "/dev/sdc1"}};
  EXPECT_EQ(table_.mountedVolumes(), expected);
  EXPECT_EQ(table_.sourceOf(path("REC")), "/dev/sdb1");
  EXPECT_EQ(table_.sourceOf(path("REC/System")), std::nullopt);

  // Space is the configured free bytes plus what the files take.
  {
    std::ofstream file(path("REC/System/old.bin"), std::ios::binary);
    file << std::string(300, 'x');
  }
  EXPECT_EQ(table_.space(path("REC")), (VolumeSpace{1000, 1300}));
  EXPECT_EQ(table_.space(path("REC/System")), (VolumeSpace{1000, 1300}));
  EXPECT_EQ(table_.space(path("REC/missing")), std::nullopt);
  // Without configured space, and outside every volume, the folder's file system answers
  // (whose free space others change meanwhile).
  for (const std::string& folder : {path("STICK"), dir_.path().toStdString()}) {
    const auto space = table_.space(folder);
    ASSERT_TRUE(space) << folder;
    EXPECT_EQ(space->totalBytes, MountTable::fileSystemSpace(folder)->totalBytes) << folder;
  }
}

TEST_F(InMemoryVolumeTableTest, UnmountCompletesOnItsOwnThreadUnlessThePolicySaysBusy) {
  ASSERT_TRUE(table_.mount(path("REC"), "/dev/sdb1"));
  ASSERT_TRUE(table_.mount(path("STICK"), "/dev/sdc1"));
  std::promise<std::thread::id> thread;
  table_.unmount(path("REC"), [&thread](const std::optional<std::string>& error) {
    EXPECT_EQ(error, std::nullopt);
    thread.set_value(std::this_thread::get_id());
  });
  auto future = thread.get_future();
  ASSERT_EQ(future.wait_for(std::chrono::seconds(10)), std::future_status::ready);
  EXPECT_NE(future.get(), std::this_thread::get_id());
  EXPECT_EQ(table_.mountedVolumes(), (std::vector<MountedVolume>{{path("STICK"), "/dev/sdc1"}}));
  EXPECT_EQ(unmountAndWait(table_, path("REC")), kNotMountedError);

  // A policy makes an unmount fail as busy.
  ASSERT_TRUE(table_.mount(path("REC"), "/dev/sdb1"));
  table_.setUnmountPolicy([this](const std::string& mountPoint) {
    // The table may be asked from the policy.
    return table_.sourceOf(mountPoint) != "/dev/sdb1";
  });
  EXPECT_EQ(unmountAndWait(table_, path("REC")), InMemoryVolumeTable::kBusyError);
  EXPECT_EQ(unmountAndWait(table_, path("STICK")), std::nullopt);
  EXPECT_EQ(table_.mountedVolumes(), (std::vector<MountedVolume>{{path("REC"), "/dev/sdb1"}}));
}

TEST_F(InMemoryVolumeTableTest, EveryCompletionIsCalledWhenTheTableGoesAway) {
  auto table = std::make_unique<InMemoryVolumeTable>();
  ASSERT_TRUE(table->mount(path("REC"), "/dev/sdb1"));
  std::atomic<int> completions = 0;
  for (int i = 0; i < 20; ++i) {
    table->unmount(path("REC"),
                   [&completions](const std::optional<std::string>&) { ++completions; });
  }
  table.reset();
  EXPECT_EQ(completions, 20);
}

// The first completion lets go of the table's last owner, on the table's own thread; the
// unmounts queued behind it still complete, each once.
TEST_F(InMemoryVolumeTableTest, ACompletionMayReleaseTheTableWhileUnmountsAreQueued) {
  auto table = std::make_shared<InMemoryVolumeTable>();
  ASSERT_TRUE(table->mount(path("REC"), "/dev/sdb1"));
  ASSERT_TRUE(table->mount(path("STICK"), "/dev/sdc1"));
  std::promise<void> release;
  std::shared_future<void> released = release.get_future().share();
  std::promise<std::optional<std::string>> last;
  table->unmount(path("REC"), [owner = table, released](const std::optional<std::string>&) mutable {
    released.wait();
    owner.reset();
  });
  table->unmount(path("STICK"),
                 [&last](std::optional<std::string> error) { last.set_value(std::move(error)); });
  table.reset();  // the first completion now holds the last reference
  release.set_value();
  auto outcome = last.get_future();
  ASSERT_EQ(outcome.wait_for(std::chrono::seconds(30)), std::future_status::ready);
  EXPECT_EQ(outcome.get(), std::nullopt);
}

TEST_F(InMemoryVolumeTableTest, ObserversHearOfMountsOnTheMainThreadButNotOfForgetting) {
  std::vector<MountedVolume> seen;
  bool onMainThread = true;
  const int token = table_.addMountObserver([&](const MountedVolume& volume) {
    onMainThread = onMainThread && QThread::currentThread() == qApp->thread();
    seen.push_back(volume);
  });
  std::thread([this] { EXPECT_TRUE(table_.mount(path("REC"), "/dev/sdb1")); }).join();
  EXPECT_TRUE(seen.empty());  // never on the caller's stack
  ASSERT_TRUE(processEventsUntil([&seen] { return !seen.empty(); }));
  EXPECT_EQ(seen, (std::vector<MountedVolume>{{path("REC"), "/dev/sdb1"}}));
  EXPECT_TRUE(onMainThread);

  EXPECT_TRUE(table_.forget(path("REC")));
  EXPECT_FALSE(table_.forget(path("REC")));
  EXPECT_TRUE(table_.mountedVolumes().empty());
  // A mount on its way when its observer goes is not delivered to it, nor to an observer
  // that came after it.
  ASSERT_TRUE(table_.mount(path("STICK"), "/dev/sdc1"));
  table_.removeMountObserver(token);
  std::vector<MountedVolume> later;
  const int second =
      table_.addMountObserver([&later](const MountedVolume& volume) { later.push_back(volume); });
  ASSERT_TRUE(table_.mount(path("REC"), "/dev/sdb1"));
  ASSERT_TRUE(processEventsUntil([&later] { return !later.empty(); }));
  EXPECT_EQ(later, (std::vector<MountedVolume>{{path("REC"), "/dev/sdb1"}}));
  EXPECT_EQ(seen.size(), 1U);
  table_.removeMountObserver(second);
}

}  // namespace
