// The serial queue under the device queue, the detector and the volume tables' unmounts.
#include "platform/SerialQueue.h"

#include <gtest/gtest.h>

#include <future>
#include <memory>
#include <mutex>
#include <vector>

namespace {

TEST(SerialQueueTest, RunsTasksInOrderAndTheRestOfTheQueueBeforeItGoes) {
  std::vector<int> ran;  // written on the queue only, read after it has gone
  {
    SerialQueue queue("test order");
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    queue.post([released] { released.wait(); });  // holds the rest back until all are posted
    for (int i = 0; i < 50; ++i) {
      queue.post([&ran, i] { ran.push_back(i); });
    }
    release.set_value();
  }
  ASSERT_EQ(ran.size(), 50U);
  for (int i = 0; i < 50; ++i) {
    EXPECT_EQ(ran[static_cast<size_t>(i)], i);
  }
}

TEST(SerialQueueTest, SyncWaitsForTheTaskAndRunsAtOnceOnTheQueueItself) {
  SerialQueue queue("test sync");
  bool onQueue = false;
  bool nestedRan = false;
  queue.sync([&] {
    onQueue = queue.isCurrent();
    queue.sync([&] { nestedRan = true; });  // would wait for itself if it were queued
  });
  EXPECT_TRUE(onQueue);
  EXPECT_TRUE(nestedRan);
  EXPECT_FALSE(queue.isCurrent());
}

// A completion may let go of the last owner of what holds the queue: the queue is then
// destroyed on its own thread, and still runs what was posted after that task.
TEST(SerialQueueTest, ATaskMayDestroyItsQueueAndTheTasksAfterItStillRun) {
  auto queue = std::make_unique<SerialQueue>("test owner");
  SerialQueue* const raw = queue.get();
  std::promise<void> laterRan;
  std::promise<void> release;
  std::shared_future<void> released = release.get_future().share();
  raw->post([released, owned = std::shared_ptr<SerialQueue>(std::move(queue))]() mutable {
    released.wait();
    owned.reset();  // the destructor runs here, on the queue's own thread
  });
  raw->post([&laterRan] { laterRan.set_value(); });
  release.set_value();
  EXPECT_EQ(laterRan.get_future().wait_for(std::chrono::seconds(30)), std::future_status::ready);
}

}  // namespace
