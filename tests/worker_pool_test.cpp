#include "worker_pool.h"

#include <atomic>
#include <mutex>
#include <set>
#include <thread>

#include <gtest/gtest.h>

namespace tesmic {
namespace {

TEST(WorkerPool, EachThreadOnceOrWorkSharedWithoutLoss) {
  for (const unsigned threads : {1u, 2u, 5u}) {
    SCOPED_TRACE(threads);
    WorkerPool pool(threads);
    ASSERT_EQ(pool.size(), threads);

    std::mutex m;
    std::multiset<std::thread::id> ran;
    auto record = [&] {
      const std::lock_guard lock(m);
      ran.insert(std::this_thread::get_id());
    };
    pool.runOnEach(record);
    EXPECT_EQ(ran.size(), threads);
    EXPECT_EQ(std::set<std::thread::id>(ran.begin(), ran.end()).size(), threads);
    EXPECT_EQ(ran.count(std::this_thread::get_id()), 1u);

    // Jobs back to back, each piece taken exactly once and all done when
    // share returns, whoever took them.
    for (int round = 0; round < 2000; ++round) {
      constexpr int kPieces = 37;
      std::atomic<int> next{0};
      std::atomic<int> taken[kPieces] = {};
      auto job = [&] {
        for (int p = next.fetch_add(1); p < kPieces; p = next.fetch_add(1)) taken[p].fetch_add(1);
      };
      pool.share(job);
      for (const std::atomic<int>& t : taken) ASSERT_EQ(t.load(), 1) << "round " << round;
    }
  }
}

}  // namespace
}  // namespace tesmic
