// The pass against the literal loop, the inRange composition and the
// streaming bound, size by size, on one core and on all; the pass also as
// the first of a fresh process, and with what a slider change costs; the
// worker pool against cv::parallel_for_.
#include "classification_bench.h"

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include "baseline_classifiers.h"
#include "parallel_for_pass.h"
#include "pass/colour_classification.h"
#include "pass/colour_classification_detail.h"
#include "run/command_line.h"
#include "run/pass_setup.h"
#include "pass/huge_pages.h"
#include "pass/stopwatch.h"
#include "streaming_bound.h"
#include "reference_rule.h"
#include "pass/view_composition.h"

namespace tesmic::bench {
namespace {

const cv::Size kSizes[] = {{640, 480}, {1920, 1080}, {3840, 2160}, {8000, 8000}};
constexpr DetectionBounds kBounds = kExampleBounds;

enum Way { kLiteral, kInRange, kBound, kBoundAllCores, kPass, kPassAllCores, kPassParallelFor,
           kWays };
const char* const kWayNames[kWays] = {"literal", "inRange",       "bound",
                                      "bound_allcores", "pass", "pass_allcores",
                                      "pass_parallel_for"};

// The worker pool against cv::parallel_for_, first pass and tuning step.
const cv::Size kComparisonSizes[] = {{1920, 1080}, {3840, 2160}, {7680, 4320}};

WorkerPool& workers() {
  static WorkerPool pool;
  return pool;
}

// The pass stores past the caches from some size on; its bound stores the
// same way, so that the two differ only in the work between load and store.
StoreStyle passStoreStyle(cv::Size size) {
  return usesStreamingStores(size) ? StoreStyle::NonTemporal : StoreStyle::Plain;
}

// Uniformly random colours: no pattern for the literal loop's branches.
cv::Mat randomImage(cv::Size size) {
  cv::Mat image = imageOnHugePages(size, CV_8UC3);
  cv::RNG(0x7e5313c0ffeeULL).fill(image, cv::RNG::UNIFORM, 0, 256);
  return image;
}

// One size at a time: 8000x8000 alone is half a gigabyte with its masks.
struct Images {
  explicit Images(cv::Size s)
      : size(s), hls(randomImage(s)), mask(imageOnHugePages(s, CV_8UC1).setTo(0)),
        reference(reference::referenceMask(hls, kBounds)),
        scratch{cv::Mat(s, CV_8UC1, cv::Scalar(0)), cv::Mat(s, CV_8UC1, cv::Scalar(0))} {}
  cv::Size size;
  cv::Mat hls, mask, reference;
  InRangeScratch scratch;
  bool checked[kWays] = {};
};

Images& imagesFor(cv::Size size) {
  static std::unique_ptr<Images> current;
  if (!current || current->size != size) {
    current.reset();
    current = std::make_unique<Images>(size);
  }
  return *current;
}

void compute(Way way, Images& im) {
  switch (way) {
    case kLiteral: classifyLiteral(im.hls, im.mask, kBounds); break;
    case kInRange: classifyWithInRange(im.hls, im.mask, kBounds, im.scratch); break;
    case kBound: streamingBound(im.hls, im.mask, passStoreStyle(im.size)); break;
    case kBoundAllCores:
      streamingBound(im.hls, im.mask, passStoreStyle(im.size), workers());
      break;
    case kPass: classifyPixels(im.hls, im.mask, kBounds); break;
    case kPassAllCores: classifyPixels(im.hls, im.mask, kBounds, workers()); break;
    case kPassParallelFor: classifyWithParallelFor(im.hls, im.mask, kBounds); break;
    case kWays: break;
  }
}

// Timing a wrong mask would be timing something else: each way is checked
// once, the bounds against the OR of the channels they store.
bool writesTheRightMask(Way way, Images& im) {
  im.mask.setTo(cv::Scalar(0x5A));  // no byte may survive the call
  compute(way, im);
  if (way != kBound && way != kBoundAllCores) return cv::norm(im.mask, im.reference, cv::NORM_INF) == 0;
  std::vector<cv::Mat> channels;
  cv::split(im.hls, channels);
  return cv::norm(im.mask, channels[0] | channels[1] | channels[2], cv::NORM_INF) == 0;
}

void timeWay(benchmark::State& state, Way way, cv::Size size) {
  Images& im = imagesFor(size);
  if (!im.checked[way] && !(im.checked[way] = writesTheRightMask(way, im))) {
    state.SkipWithError("wrong mask");
    return;
  }
  for (auto _ : state) {
    compute(way, im);
    benchmark::DoNotOptimize(im.mask.data);
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(state.iterations() * std::int64_t{size.area()} * 4);
}

}  // namespace

bool everyWayWritesTheRightMask(cv::Size size) {
  Images& im = imagesFor(size);
  bool allRight = true;
  for (int way = 0; way < kWays; ++way) {
    const bool right = writesTheRightMask(static_cast<Way>(way), im);
    std::printf("%-17s %dx%d %s\n", kWayNames[way], size.width, size.height,
                right ? "ok" : "wrong mask");
    allRight = allRight && right;
  }
  return allRight;
}

namespace {

// "pass/640x480"
std::string benchmarkName(const char* way, cv::Size size) {
  char text[64];
  std::snprintf(text, sizeof text, "%s/%dx%d", way, size.width, size.height);
  return text;
}

// Each iteration starts a fresh process of this program that times its one
// pass as tesmic does (firstInFreshProcess), so nothing is warm that a real
// run would not have warm; the bound's first pass likewise.
void timeFirst(benchmark::State& state, cv::Size size, FirstPass way) {
  // Through the shell: this program's own path, quoted.
  const std::string self = std::filesystem::read_symlink("/proc/self/exe").string();
  std::string command = "'";
  command += self;
  command += "' ";
  command += kFirstPassOptions[static_cast<int>(way)];
  command += '=';
  command += std::to_string(size.width);
  command += 'x';
  command += std::to_string(size.height);
  for (auto _ : state) {
    std::FILE* child = popen(command.c_str(), "r");
    double seconds = -1;
    const bool read = child != nullptr && std::fscanf(child, "%lf", &seconds) == 1;
    if (child == nullptr || pclose(child) != 0 || !read || seconds < 0) {
      state.SkipWithError("the first-pass process failed");
      return;
    }
    state.SetIterationTime(seconds);
  }
}

// A slider moved while tuning: the pass on every core, the share of marked
// pixels for the status bar, and what OpenCV's Qt window does with the mask
// before it paints (a copy as 8-bit RGB, the form its QImage wraps).
// With parallelFor the pass's rows go to cv::parallel_for_ instead of the pool.
void timeTuningStep(benchmark::State& state, cv::Size size, bool parallelFor) {
  Images& im = imagesFor(size);
  cv::Mat rgb(size, CV_8UC3, cv::Scalar::all(0));  // touched, as the window's copy is
  for (auto _ : state) {
    if (parallelFor) {
      classifyWithParallelFor(im.hls, im.mask, kBounds);
    } else {
      classifyPixels(im.hls, im.mask, kBounds, workers());
    }
    benchmark::DoNotOptimize(cv::countNonZero(im.mask));
    cv::cvtColor(im.mask, rgb, cv::COLOR_GRAY2RGB);
    benchmark::ClobberMemory();
  }
}

// What Vysledek costs in one view: composing it from the picture and the
// mask (none for the mask itself) and the window's copy of it as RGB. With
// tuning, the pass and the share of marked pixels come first, as in
// timeTuningStep; without, it is a switch of the view.
void timeView(benchmark::State& state, MaskView view, bool tuning, cv::Size size) {
  Images& im = imagesFor(size);
  cv::Mat picture(size, CV_8UC3);
  cv::RNG(0x51dec0deULL).fill(picture, cv::RNG::UNIFORM, 0, 256);
  classifyPixels(im.hls, im.mask, kBounds, workers());
  // Both buffers touched once, as a run that has shown the view keeps them.
  cv::Mat composed = imageOnHugePages(size, CV_8UC3).setTo(cv::Scalar::all(0));
  cv::Mat rgb(size, CV_8UC3, cv::Scalar::all(0));
  for (auto _ : state) {
    if (tuning) {
      classifyPixels(im.hls, im.mask, kBounds, workers());
      benchmark::DoNotOptimize(cv::countNonZero(im.mask));
    }
    if (view == MaskView::kMask) {
      cv::cvtColor(im.mask, rgb, cv::COLOR_GRAY2RGB);
    } else {
      composeView(view, picture, im.mask, composed);
      cv::cvtColor(composed, rgb, cv::COLOR_BGR2RGB);
    }
    benchmark::ClobberMemory();
  }
}

double minimum(const std::vector<double>& v) { return *std::min_element(v.begin(), v.end()); }

}  // namespace

double firstInFreshProcess(cv::Size size, FirstPass way) {
  // What the run does before its pass, so that caches, pages and threads
  // are as the program leaves them; a pool of one thread leaves OpenCV's
  // threads to themselves.
  cv::Mat picture(size, CV_8UC3);
  cv::RNG(0x7e5313c0ffeeULL).fill(picture, cv::RNG::UNIFORM, 0, 256);
  WorkerPool pool(way == FirstPass::kParallelFor ? 1 : 0);
  PassImages pass = setUpPass(picture, /*smoothPicture=*/true, pool);
  switch (way) {
    case FirstPass::kPool: return timedPass(pass, kBounds, pool);
    case FirstPass::kParallelFor: {
      prepareParallelFor();
      const auto start = std::chrono::steady_clock::now();
      classifyWithParallelFor(pass.snimekKLON, pass.maska, kBounds);
      return secondsSince(start);
    }
    case FirstPass::kBound: {
      // The bound's own kernel is set up the same way, on a few pixels.
      cv::Mat few(1, 67, CV_8UC3, cv::Scalar::all(0));
      cv::Mat fewOut(1, 67, CV_8UC1);
      auto warmBound = [&] { streamingBound(few, fewOut, passStoreStyle(size)); };
      pool.runOnEach(warmBound);
      const auto start = std::chrono::steady_clock::now();
      streamingBound(pass.snimekKLON, pass.maska, passStoreStyle(size), pool);
      return secondsSince(start);
    }
  }
  return -1;  // not reached: every way is above
}

namespace {

void registerFirst(const char* name, cv::Size size, FirstPass way) {
  benchmark::RegisterBenchmark(benchmarkName(name, size).c_str(), timeFirst, size, way)
      ->Iterations(1)->Repetitions(7)->ComputeStatistics("min", minimum)
      ->ReportAggregatesOnly(true)->UseManualTime()->Unit(benchmark::kMicrosecond);
}

void registerTuningStep(const char* name, cv::Size size, bool parallelFor) {
  benchmark::RegisterBenchmark(benchmarkName(name, size).c_str(), timeTuningStep, size,
                               parallelFor)
      ->MinTime(0.5)->Repetitions(7)->ComputeStatistics("min", minimum)
      ->ReportAggregatesOnly(true)->Unit(benchmark::kMicrosecond)->UseRealTime();
}

}  // namespace

void registerClassificationBenchmarks() {
  for (const cv::Size size : kSizes) {
    for (int way = 0; way < kWays; ++way) {
      benchmark::RegisterBenchmark(benchmarkName(kWayNames[way], size).c_str(), timeWay,
                                   static_cast<Way>(way), size)
          ->MinTime(0.5)->Repetitions(7)->ComputeStatistics("min", minimum)
          ->ReportAggregatesOnly(true)->Unit(benchmark::kMicrosecond)->UseRealTime();
    }
    registerFirst("first_pass", size, FirstPass::kPool);
    registerFirst("first_bound", size, FirstPass::kBound);
    if (size.area() >= 3840 * 2160) registerTuningStep("tuning_step", size, false);
    if (size == cv::Size(3840, 2160)) {
      const char* const viewNames[kViewCount] = {"mask", "marked", "tinted"};
      for (int view = 0; view < kViewCount; ++view) {
        for (const bool tuning : {false, true}) {
          const std::string name = std::string(tuning ? "view_tuning_" : "view_switch_") +
                                   viewNames[view];
          benchmark::RegisterBenchmark(benchmarkName(name.c_str(), size).c_str(), timeView,
                                       static_cast<MaskView>(view), tuning, size)
              ->MinTime(0.5)->Repetitions(7)->ComputeStatistics("min", minimum)
              ->ReportAggregatesOnly(true)->Unit(benchmark::kMicrosecond)->UseRealTime();
        }
      }
    }
  }
  // Side by side: best run with --benchmark_filter=compare_ and
  // --benchmark_enable_random_interleaving=true, so that both meet the same
  // load.
  for (const cv::Size size : kComparisonSizes) {
    registerFirst("compare_pool_first", size, FirstPass::kPool);
    registerFirst("compare_parallel_for_first", size, FirstPass::kParallelFor);
    registerTuningStep("compare_pool_tuning", size, false);
    registerTuningStep("compare_parallel_for_tuning", size, true);
  }
}

}  // namespace tesmic::bench
