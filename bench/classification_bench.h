// The benchmarks of the pass, registered with Google Benchmark.
#pragma once

#include <benchmark/benchmark.h>
#include <opencv2/core/types.hpp>

namespace tesmic::bench {

// Registers, for each size: literal, inRange, bound, bound_allcores, pass,
// pass_allcores (warm, repeated), first_pass and first_bound (one pass of
// each per fresh process), from 3840x2160 on tuning_step, and at 3840x2160
// view_switch_* and view_tuning_* for each view of Vysledek.
void registerClassificationBenchmarks();

// Computes the mask once in each way that registerClassificationBenchmarks
// times, over a random image of this size, and checks it; prints one line per
// way and returns whether all were right. A quick run that still catches a
// pass gone wrong.
bool everyWayWritesTheRightMask(cv::Size size);

// What a fresh process measures for its first pass (or the bound's, on
// every core) over a random image of this size, set up as tesmic sets up its
// run; in seconds.
double firstInFreshProcess(cv::Size size, bool bound);

}  // namespace tesmic::bench
