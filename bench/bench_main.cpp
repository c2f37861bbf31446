// The benchmark program behind `make bench`. Takes Google Benchmark's usual
// flags (--benchmark_filter=pass, say); prints the table, then the ratios of
// the pass to the others and the stages of one run. Exits non-zero when a
// benchmark failed, a wrong mask among them.
#include <malloc.h>

#include <iostream>
#include <string>

#include <benchmark/benchmark.h>
#include <opencv2/core/utility.hpp>

#include "bench_catalogue.h"
#include "ratio_report.h"
#include "registration.h"
#include "streaming_bound.h"

int main(int argc, char** argv) {
  // Every large allocation gets fresh pages from the system, as in the
  // program's one run in a new process. Left to itself glibc raises the
  // threshold once a large block is freed and then recycles it, which hides
  // the page faults of the stages that allocate (clone, blur, the mask).
  mallopt(M_MMAP_THRESHOLD, 128 * 1024);

  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;

  using namespace tesmic::bench;
  registerClassificationBenchmarks();
  registerRunStageBenchmarks();

  const tesmic::DetectionBounds b = benchmarkBounds();
  benchmark::AddCustomContext(
      "bounds HH HL SH SL VH VL",
      std::to_string(b.HH) + " " + std::to_string(b.HL) + " " +
          std::to_string(b.SH) + " " + std::to_string(b.SL) + " " +
          std::to_string(b.VH) + " " + std::to_string(b.VL));
  benchmark::AddCustomContext("highway target", dispatchedTargetName());
  benchmark::AddCustomContext("opencv threads",
                              std::to_string(cv::getNumThreads()));

  CollectingReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();

  if (!reporter.empty()) {
    printClassificationRatios(reporter, std::cout);
    printRunStages(reporter, std::cout);
  }
  for (const std::string& failure : reporter.failures()) {
    std::cerr << "FAILED " << failure << "\n";
  }
  return reporter.failures().empty() ? 0 : 1;
}
