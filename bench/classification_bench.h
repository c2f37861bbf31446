// The benchmarks of the pass, registered with Google Benchmark.
#pragma once

#include <benchmark/benchmark.h>
#include <opencv2/core/types.hpp>

namespace tesmic::bench {

// Registers, for each size: literal, inRange, bound, bound_allcores, pass,
// pass_allcores, pass_parallel_for (warm, repeated), first_pass and
// first_bound (one pass of each per fresh process), from 3840x2160 on
// tuning_step, and at 3840x2160 view_switch_* and view_tuning_* for each view
// of Vysledek. Then, at 1920x1080, 3840x2160 and 7680x4320, the worker pool
// against cv::parallel_for_: compare_pool_first, compare_parallel_for_first,
// compare_pool_tuning and compare_parallel_for_tuning.
void registerClassificationBenchmarks();

// Computes the mask once in each way that registerClassificationBenchmarks
// times, over a random image of this size, and checks it; prints one line per
// way and returns whether all were right. A quick run that still catches a
// pass gone wrong.
bool everyWayWritesTheRightMask(cv::Size size);

// The first pass of a fresh process: the pass on the worker pool, the same
// split by cv::parallel_for_, or the bound on the pool.
enum class FirstPass { kPool, kParallelFor, kBound };
// The option of this program that prints each, as "OPTION=WxH".
inline constexpr const char* kFirstPassOptions[] = {"--first-pass", "--first-parallel-for",
                                                    "--first-bound"};

// What a fresh process measures for its first pass over a random image of
// this size, set up as tesmic sets up its run; in seconds.
double firstInFreshProcess(cv::Size size, FirstPass way);

}  // namespace tesmic::bench
