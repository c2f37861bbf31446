// The benchmarks of the pass, registered with Google Benchmark.
#pragma once

#include <benchmark/benchmark.h>
#include <opencv2/core/types.hpp>

namespace tesmic::bench {

// Registers, for each size: literal, inRange, bound, bound_allcores, pass,
// pass_allcores (warm, repeated), first_pass (one pass per fresh process)
// and, from 3840x2160 on, tuning_step.
void registerClassificationBenchmarks();

// What a fresh process measures for its first pass over a random image of
// this size, set up as tesmic sets up its run; in seconds.
double firstPassInFreshProcess(cv::Size size);

}  // namespace tesmic::bench
