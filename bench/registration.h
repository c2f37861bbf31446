// The benchmarks, registered from main in the order they run.
#pragma once

#include <benchmark/benchmark.h>

namespace tesmic::bench {

// Long enough for stable results on a shared 2-core machine, short enough
// for the whole program to finish in a couple of minutes.
inline constexpr double kMinSeconds = 0.5;
inline constexpr int kRepetitions = 5;

// The statistic the summaries are made from. Not the fastest repetition:
// the statistic applies to the rate counters too, and their least would be
// the slowest one.
inline constexpr char kSummaryStatistic[] = "median";

// Times every way of computing the mask at every size, size by size.
void registerClassificationBenchmarks();

// Times each stage of one detection run on a JPEG, alone and within runs.
void registerRunStageBenchmarks();

// The settings every benchmark here shares: repetitions reduced to their
// statistics, which a burst of other work on the machine moves less than a
// single run.
inline benchmark::internal::Benchmark* withSharedSettings(
    benchmark::internal::Benchmark* b) {
  return b->MinTime(kMinSeconds)
      ->Repetitions(kRepetitions)
      ->ReportAggregatesOnly(true);
}

}  // namespace tesmic::bench
