// The start-up benchmarks, registered with Google Benchmark.
#pragma once

#include <benchmark/benchmark.h>

namespace tesmic::bench {

// startup/missing_file (tesmic on a missing file, to its exit) and
// startup/to_windows_800x600 (the built-in example, to both windows on the
// screen; skipped without a display), each a fresh process per run.
void registerStartupBenchmarks();

}  // namespace tesmic::bench
