// The benchmark program behind `make bench`. Google Benchmark's own flags
// work (--benchmark_filter=pass, --benchmark_out=FILE); --check-masks=WxH
// only checks the mask of each way at that size, untimed. After its table it
// prints the ratios doc/performance.md quotes, size by size, from the
// medians (the first pass against the bound: from the fastest of each).
#include <cstdio>
#include <cstring>
#include <iterator>
#include <map>
#include <string>

#include <benchmark/benchmark.h>

#include "classification_bench.h"
#include "codec_bench.h"
#include "decoding_bench.h"
#include "histogram_bench.h"
#include "run/command_line.h"
#include "sample_fit_bench.h"
#include "startup_bench.h"
#include "streaming_bound.h"

namespace {

struct Figures {
  double median = 0;
  double min = 0;
};

// The console table as usual, with each benchmark's median and minimum kept.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      Figures& f = figures_[run.run_name.function_name];
      if (run.aggregate_name == "median") f.median = run.GetAdjustedRealTime();
      if (run.aggregate_name == "min") f.min = run.GetAdjustedRealTime();
    }
  }

  void printRatios() const {
    std::printf("\n%-10s %9s %9s %7s %7s %10s %10s %12s %12s\n", "size", "x literal",
                "x inRange", "pass/", "pass/", "first/", "first/", "first pass", "tuning step");
    std::printf("%-10s %9s %9s %7s %7s %10s %10s %12s %12s\n", "", "(all)", "(all)", "bound",
                "bound", "bound", "first", "(best, us)", "(us)");
    std::printf("%-10s %9s %9s %7s %7s %10s %10s\n", "", "", "", "(1)", "(all)", "(all,best)",
                "bound");
    for (const char* size : {"640x480", "1920x1080", "3840x2160", "8000x8000"}) {
      const auto get = [&](const char* way) {
        const auto it = figures_.find(std::string(way) + "/" + size);
        return it == figures_.end() ? Figures{} : it->second;
      };
      const Figures passAll = get("pass_allcores");
      if (passAll.median == 0) continue;
      const auto ratio = [](double a, double b) { return b > 0 ? a / b : 0.0; };
      std::printf("%-10s %9.1f %9.1f %7.2f %7.2f %10.2f %10.2f %12.1f %12.0f\n", size,
                  ratio(get("literal").median, passAll.median),
                  ratio(get("inRange").median, passAll.median),
                  ratio(get("bound").median, get("pass").median),
                  ratio(get("bound_allcores").median, passAll.median),
                  ratio(get("bound_allcores").min, get("first_pass").min),
                  ratio(get("first_bound").min, get("first_pass").min), get("first_pass").min,
                  get("tuning_step").median);
    }
  }

 private:
  std::map<std::string, Figures> figures_;
};

}  // namespace

int main(int argc, char** argv) {
  int width = 0;
  int height = 0;
  for (int way = 0; way < static_cast<int>(std::size(tesmic::bench::kFirstPassOptions)); ++way) {
    const std::string format = std::string(tesmic::bench::kFirstPassOptions[way]) + "=%dx%d";
    if (argc == 2 && std::sscanf(argv[1], format.c_str(), &width, &height) == 2) {
      std::printf("%.9f\n", tesmic::bench::firstInFreshProcess(
                                {width, height}, static_cast<tesmic::bench::FirstPass>(way)));
      return 0;
    }
  }
  if (argc == 2 && std::sscanf(argv[1], "--check-masks=%dx%d", &width, &height) == 2) {
    return tesmic::bench::everyWayWritesTheRightMask({width, height}) ? 0 : 1;
  }
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  tesmic::bench::registerClassificationBenchmarks();
  tesmic::bench::registerStartupBenchmarks();
  tesmic::bench::registerCodecBenchmarks();
  tesmic::bench::registerDecodingBenchmarks();
  tesmic::bench::registerSampleFitBenchmarks();
  tesmic::bench::registerHistogramBenchmarks();
  const tesmic::DetectionBounds b = tesmic::kExampleBounds;
  benchmark::AddCustomContext("bounds", std::to_string(b.HH) + " " + std::to_string(b.HL) + " " +
                                            std::to_string(b.SH) + " " + std::to_string(b.SL) +
                                            " " + std::to_string(b.VH) + " " + std::to_string(b.VL));
  benchmark::AddCustomContext("highway target", tesmic::bench::dispatchedTargetName());
  RatioReporter reporter;
  const std::size_t ran = benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  if (ran > 0) reporter.printRatios();
  return 0;
}
