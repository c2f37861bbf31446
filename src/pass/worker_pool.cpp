#include "pass/worker_pool.h"

#include <algorithm>
#include <chrono>

#include <opencv2/core/utility.hpp>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

namespace tesmic {
namespace {

using Clock = std::chrono::steady_clock;

// How long a thread keeps looking for the next job after a warm-up before
// it sleeps. Waking a sleeping thread costs tens of microseconds, as much as
// a whole pass on a small image; a few milliseconds of looking cost a core
// nothing it needs before the pass. After a shared job the caller goes on
// with OpenCV's own threads (the share of marked pixels, the window's copy),
// which a looking thread would keep off the cores, so there it sleeps.
constexpr auto kWatchTime = std::chrono::milliseconds(3);

void relax() {
#if defined(__x86_64__) || defined(__i386__)
  _mm_pause();
#else
  std::this_thread::yield();
#endif
}

// Waits until value differs from old, watching for the given while, then
// asleep; returns the new value.
template <typename T>
T awaitChange(const std::atomic<T>& value, T old, Clock::duration watch = kWatchTime) {
  const auto sleepAt = Clock::now() + watch;
  for (unsigned spins = 1;; ++spins) {
    const T now = value.load(std::memory_order_acquire);
    if (now != old) return now;
    relax();
    if (spins % 64 == 0 && Clock::now() >= sleepAt) value.wait(old, std::memory_order_acquire);
  }
}

}  // namespace

WorkerPool::WorkerPool(unsigned threads) {
  if (threads == 0) threads = static_cast<unsigned>(std::max(cv::getNumberOfCPUs(), 1));
  threads_.reserve(threads - 1);
  try {
    for (unsigned i = 1; i < threads; ++i) threads_.emplace_back([this] { serve(); });
  } catch (...) {
    // A thread the system refuses (ulimit -u): the ones made must end
    // before their vector goes, which would otherwise terminate the process.
    stop();
    throw;
  }
}

WorkerPool::~WorkerPool() { stop(); }

void WorkerPool::stop() {
  stopping_.store(true, std::memory_order_relaxed);
  state_.fetch_add(std::uint64_t{1} << 32, std::memory_order_release);
  state_.notify_all();
  for (std::thread& t : threads_) t.join();
  threads_.clear();
}

void WorkerPool::start(Erased call, void* job, bool waitForAll) {
  if (threads_.empty()) {
    call(job);
    return;
  }
  call_ = call;
  job_ = job;
  watchAfter_ = waitForAll;
  served_.store(0, std::memory_order_relaxed);
  ++jobNumber_;
  state_.store(jobNumber_ << 32, std::memory_order_release);  // open, nobody inside
  state_.notify_all();
  // The job lives in the caller's frame: however this call is left, no pool
  // thread may still be in it, nor enter it later.
  const JobCloser closer(*this);
  call(job);

  if (waitForAll) {
    const auto all = static_cast<unsigned>(threads_.size());
    for (unsigned done = served_.load(std::memory_order_acquire); done != all;
         done = served_.load(std::memory_order_acquire)) {
      awaitChange(served_, done);
    }
  }
}

WorkerPool::JobCloser::~JobCloser() {
  // Latecomers stay out; those inside are waited for.
  std::uint64_t state = pool_.state_.fetch_or(kClosed, std::memory_order_acq_rel) | kClosed;
  while ((state & kInsideMask) != 0) state = awaitChange(pool_.state_, state);
}

void WorkerPool::serve() {
  std::uint64_t lastJob = 0;
  bool watch = true;  // the first job may follow the pool's start at once
  std::uint64_t state = state_.load(std::memory_order_acquire);
  while (!stopping_.load(std::memory_order_relaxed)) {
    const std::uint64_t job = state >> 32;
    if (job == lastJob || (state & kClosed) != 0) {
      state = awaitChange(state_, state, watch ? Clock::duration(kWatchTime) : Clock::duration::zero());
      continue;
    }
    if (!state_.compare_exchange_weak(state, state + 1, std::memory_order_acq_rel)) continue;
    lastJob = job;
    watch = watchAfter_;
    call_(job_);
    served_.fetch_add(1, std::memory_order_release);
    served_.notify_all();
    state_.fetch_sub(1, std::memory_order_acq_rel);
    state_.notify_all();
    state = state_.load(std::memory_order_acquire);
  }
}

}  // namespace tesmic
