#include "pass/worker_pool.h"

#include <sys/resource.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <set>
#include <stdexcept>
#include <system_error>
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

// Gaps longer than the threads' watch put them to sleep before each job.
// A job that throws on the caller's thread is still closed before the
// exception leaves: with more threads than cores some are late to wake, and
// none may enter once the caller has left; the next job runs whole.
TEST(WorkerPool, SleepingThreadsWakeAndAThrowingJobIsClosedBeforeItLeaves) {
  constexpr unsigned kThreads = 16;
  WorkerPool pool(kThreads);
  const std::thread::id caller = std::this_thread::get_id();
  std::atomic<bool> left{false};
  std::atomic<int> enteredAfterLeaving{0};
  auto throwing = [&] {
    if (std::this_thread::get_id() == caller) throw std::runtime_error("job failed");
    if (left.load()) enteredAfterLeaving.fetch_add(1);
  };
  for (int round = 0; round < 10; ++round) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    left = false;
    EXPECT_THROW(
        {
          try {
            pool.share(throwing);
          } catch (...) {
            left = true;
            throw;
          }
        },
        std::runtime_error);
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    std::atomic<unsigned> calls{0};
    auto count = [&] { calls.fetch_add(1); };
    pool.runOnEach(count);
    ASSERT_EQ(calls.load(), kThreads) << "round " << round;
  }
  EXPECT_EQ(enteredAfterLeaving.load(), 0) << "threads entered a job its caller had left";
}

// Under ulimit -u the system refuses a thread part-way through the pool:
// the caller gets the exception, instead of std::terminate from the threads
// already made. In a child of a user of its own, so that no other process
// counts against the limit.
// The exit code of a pool of four made where only two threads may run.
[[noreturn]] void makePoolWithTooFewThreads() {
  const uid_t alone = 3'000'000 + static_cast<uid_t>(getpid() % 100'000);
  const rlimit two{2, 2};  // the child and one thread
  if (setresuid(alone, alone, alone) != 0 || setrlimit(RLIMIT_NPROC, &two) != 0) _exit(3);
  try {
    WorkerPool pool(4);
  } catch (const std::system_error& e) {
    _exit(e.code() == std::errc::resource_unavailable_try_again ? 0 : 1);
  }
  _exit(2);
}

TEST(WorkerPool, AThreadTheSystemRefusesIsAnException) {
  if (geteuid() != 0) GTEST_SKIP() << "only root can run the pool as a user of its own";
  // A fresh process rather than a fork of one whose sanitizer runs threads.
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(makePoolWithTooFewThreads(), ::testing::ExitedWithCode(0), "");
}

}  // namespace
}  // namespace tesmic
