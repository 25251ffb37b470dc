// Folders standing in for volumes, as the virtual recorder uses them. Mounts, space and mount
// notices are exercised by the whole runs on virtual recorders, a busy unmount by the device
// interface's test; here are the lifetimes no run reaches: unmounts queued as the table goes.
#include "platform/volume/InMemoryVolumeTable.h"
#include "tests/platform/VolumeTestSupport.h"

#include <gtest/gtest.h>

#include <QDir>

#include <atomic>
#include <future>

using namespace Qt::StringLiterals;

namespace {

class InMemoryVolumeTableTest : public testing::Test {
 protected:
  void SetUp() override {
    testApplication();
    ASSERT_TRUE(dir_.isValid());
    ASSERT_TRUE(QDir(dir_.path()).mkpath(u"REC"_s));
    ASSERT_TRUE(QDir(dir_.path()).mkpath(u"STICK"_s));
  }

  std::string path(const char* name) const {
    return dir_.filePath(QString::fromUtf8(name)).toStdString();
  }

  QTemporaryDir dir_;
};

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

}  // namespace
