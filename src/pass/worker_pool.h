// Threads kept for sharing one job between the cores.
#pragma once

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <thread>
#include <vector>

namespace tesmic {

// Threads started once, with the pool. After a warm-up (runOnEach) they
// keep watching for the next job for a short while before they sleep, so
// that a job that follows right after (the timed pass) finds them awake;
// after a shared job they sleep at once and leave the cores to the caller.
class WorkerPool {
 public:
  // threads: how many threads take part in a job, the caller's included; 0
  // means one per core the process may use. Throws std::system_error when
  // the system refuses a thread (ulimit -u), after ending those made.
  explicit WorkerPool(unsigned threads = 0);
  ~WorkerPool();
  WorkerPool(const WorkerPool&) = delete;
  WorkerPool& operator=(const WorkerPool&) = delete;

  unsigned size() const { return static_cast<unsigned>(threads_.size()) + 1; }

  // Calls job() on the calling thread and on every pool thread that comes
  // to it before the caller's own call has returned; returns when all those
  // calls have returned. A thread that another program keeps off its core
  // until then never enters, and so is not waited for; one that has entered
  // is waited for, even when it is descheduled inside. So the job must hand
  // out its work in small pieces (a shared counter) and expect the caller to
  // do all of it. One job at a time; allocates nothing. Should job throw on
  // the caller's thread, the job is still closed and the calls inside it
  // awaited before the exception leaves.
  template <typename Job>
  void share(Job& job) {
    start([](void* j) { (*static_cast<Job*>(j))(); }, &job, /*waitForAll=*/false);
  }

  // Hands out the rows 0..rows-1 in runs of rowsPerRun (the last may be
  // shorter) to the threads of the pool through share(): rowsFn(from, to)
  // is called once for every run, on whichever thread asks first.
  template <typename Rows>
  void shareRows(int rows, int rowsPerRun, Rows& rowsFn) {
    const int runs = (rows + rowsPerRun - 1) / rowsPerRun;
    std::atomic<int> next{0};
    auto job = [&] {
      for (int run = next.fetch_add(1, std::memory_order_relaxed); run < runs;
           run = next.fetch_add(1, std::memory_order_relaxed)) {
        const int from = run * rowsPerRun;
        rowsFn(from, std::min(from + rowsPerRun, rows));
      }
    };
    share(job);
  }

  // Calls job() once on every thread of the pool, the caller's included,
  // and returns when all have returned.
  template <typename Job>
  void runOnEach(Job& job) {
    start([](void* j) { (*static_cast<Job*>(j))(); }, &job, /*waitForAll=*/true);
  }

 private:
  using Erased = void (*)(void*);
  void start(Erased call, void* job, bool waitForAll);
  void serve();
  void stop();

  // Closes the current job when it goes and waits for the threads inside.
  class JobCloser {
   public:
    explicit JobCloser(WorkerPool& pool) : pool_(pool) {}
    ~JobCloser();
    JobCloser(const JobCloser&) = delete;
    JobCloser& operator=(const JobCloser&) = delete;

   private:
    WorkerPool& pool_;
  };

  // The current job's number (high 32 bits), whether it is closed to
  // latecomers, and how many pool threads are inside it: one word, so that
  // a thread enters a job only while that very job is open.
  static constexpr std::uint64_t kClosed = std::uint64_t{1} << 31;
  static constexpr std::uint64_t kInsideMask = kClosed - 1;

  std::vector<std::thread> threads_;
  std::atomic<std::uint64_t> state_{kClosed};
  std::atomic<unsigned> served_{0};  // pool threads done with the current job
  std::atomic<bool> stopping_{false};
  std::uint64_t jobNumber_ = 0;
  Erased call_ = nullptr;  // the job, published through state_
  void* job_ = nullptr;
  bool watchAfter_ = false;  // whether threads watch for a job after this one
};

}  // namespace tesmic
