// The start-up benchmarks, registered with Google Benchmark.
#pragma once

#include <benchmark/benchmark.h>

namespace tesmic::bench {

// startup/missing_file (tesmic on a missing file, to its exit),
// startup/to_windows_800x600 (the built-in example) and
// startup/to_windows_12mp (a 4000x3000 JPEG), to both windows on the screen
// (skipped without a display), each a fresh process per run. With
// TESMIC_STARTUP_BASELINE naming another build of tesmic, each iteration
// times that one too (the counter baseline_ms), taking turns at going first.
// startup/qt_floor_800x600 and startup/qt_floor_12mp: the toolkit's floor, a
// Qt program that only shows the image in two windows, with tesmic as its
// baseline_ms.
void registerStartupBenchmarks();

}  // namespace tesmic::bench
