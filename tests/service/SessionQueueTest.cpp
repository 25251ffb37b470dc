#include "app/service/SessionQueue.h"
#include "tests/support/TestHttpsServer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

using namespace Qt::StringLiterals;

namespace {

TEST(SessionQueueTest, RunsTasksInPostedOrderOnItsOwnThread) {
  testApplication();
  std::vector<int> seen;  // touched only by the queue's thread until the queue is gone
  std::atomic<int> offThread = 0;
  {
    SessionQueue queue(u"test queue"_s);
    const auto poster = [&queue, &seen, &offThread](int first) {
      for (int i = first; i < first + 500; ++i) {
        queue.post([&queue, &seen, &offThread, i] {
          offThread += queue.isCurrent() ? 0 : 1;
          seen.push_back(i);
        });
      }
    };
    std::thread other(poster, 1000);
    poster(0);
    other.join();
    // Waits for what was posted before, and runs at once on the queue itself.
    queue.sync([&queue] { queue.sync([] {}); });
    EXPECT_EQ(seen.size(), 1000U);
    // The last tasks run before the destructor returns.
    queue.post([&seen] { seen.push_back(-1); });
  }
  ASSERT_EQ(seen.size(), 1001U);
  EXPECT_EQ(seen.back(), -1);
  EXPECT_EQ(offThread, 0);
  // Each poster's tasks keep their order.
  for (const int first : {0, 1000}) {
    int last = first - 1;
    for (const int value : seen) {
      if (value >= first && value < first + 500) {
        EXPECT_EQ(value, last + 1);
        last = value;
      }
    }
  }
}

}  // namespace
