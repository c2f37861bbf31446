// Where one detection run spends its time: each stage the program goes
// through on a 3840x2160 JPEG, alone, and whole runs with every stage timed
// as it happens (windows aside).
#include <array>
#include <chrono>
#include <cstdint>
#include <vector>

#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "bench_catalogue.h"
#include "bench_images.h"
#include "colour_classification.h"
#include "registration.h"

namespace tesmic::bench {
namespace {

constexpr int kJpegQuality = 92;

struct RunFixture {
  RunFixture() {
    const cv::Mat photo = photoLikeImage(kRunSize);
    CV_Assert(cv::imencode(".jpg", photo, jpeg,
                           {cv::IMWRITE_JPEG_QUALITY, kJpegQuality}));
    loaded = cv::imdecode(jpeg, cv::IMREAD_COLOR);
    CV_Assert(!loaded.empty() && loaded.size() == kRunSize);
    smoothed = loaded.clone();
    cv::cvtColor(loaded, hls, cv::COLOR_BGR2HLS);
    mask = cv::Mat(kRunSize, CV_8UC1, cv::Scalar(0));
  }

  std::vector<std::uint8_t> jpeg;
  cv::Mat loaded;    // the decoded picture, as the program holds it
  cv::Mat smoothed;  // blurred in place again and again
  cv::Mat hls;
  cv::Mat mask;
};

RunFixture& runFixture() {
  static RunFixture fixture;
  return fixture;
}

const DetectionBounds& bounds() {
  static const DetectionBounds b = benchmarkBounds();
  return b;
}

void runStageAlone(Stage stage, RunFixture& f) {
  switch (stage) {
    case Stage::Decode: {
      // imdecode allocates its result each time, as imread does.
      const cv::Mat snimek = cv::imdecode(f.jpeg, cv::IMREAD_COLOR);
      benchmark::DoNotOptimize(snimek.data);
      break;
    }
    case Stage::Clone: {
      const cv::Mat klon = f.loaded.clone();
      benchmark::DoNotOptimize(klon.data);
      break;
    }
    case Stage::Blur:
      cv::GaussianBlur(f.smoothed, f.smoothed, cv::Size(3, 3), 0.0, 0.0,
                       cv::BORDER_REPLICATE);
      break;
    case Stage::ToHls:
      // Into a separate image, so that every iteration converts the photo
      // and not the previous result. The program converts in place, for
      // which OpenCV first copies the source: whole runs show that cost.
      cv::cvtColor(f.loaded, f.hls, cv::COLOR_BGR2HLS);
      break;
    case Stage::MaskAllocation: {
      const cv::Mat maska(kRunSize, CV_8UC1, cv::Scalar(0));
      benchmark::DoNotOptimize(maska.data);
      break;
    }
    case Stage::Pass:
      classifyPixels(f.hls, f.mask, bounds());
      break;
    case Stage::Release:
      break;  // only happens within a run
  }
  benchmark::ClobberMemory();
}

using InRunSeconds = std::array<double, kStages.size()>;

// Seconds since the previous lap, added to a stage's total.
class Laps {
 public:
  explicit Laps(InRunSeconds& totals) : totals_(totals) {}
  void end(Stage stage) {
    const auto now = std::chrono::steady_clock::now();
    totals_[static_cast<std::size_t>(stage)] +=
        std::chrono::duration<double>(now - last_).count();
    last_ = now;
  }

 private:
  InRunSeconds& totals_;
  std::chrono::steady_clock::time_point last_ =
      std::chrono::steady_clock::now();
};

// One run as the program does it, windows aside.
void timedRun(const RunFixture& f, InRunSeconds& totals) {
  Laps laps(totals);
  {
    cv::Mat snimek = cv::imdecode(f.jpeg, cv::IMREAD_COLOR);
    laps.end(Stage::Decode);
    cv::Mat klon = snimek.clone();
    laps.end(Stage::Clone);
    cv::GaussianBlur(snimek, snimek, cv::Size(3, 3), 0.0, 0.0,
                     cv::BORDER_REPLICATE);
    laps.end(Stage::Blur);
    cv::cvtColor(klon, klon, cv::COLOR_BGR2HLS);
    laps.end(Stage::ToHls);
    cv::Mat maska(klon.size(), CV_8UC1, cv::Scalar(0));
    laps.end(Stage::MaskAllocation);
    classifyPixels(klon, maska, bounds());
    laps.end(Stage::Pass);
    benchmark::DoNotOptimize(maska.data);
    benchmark::DoNotOptimize(snimek.data);
  }
  laps.end(Stage::Release);
}

// Bytes each stage reads and writes, for the bytes/s column.
std::int64_t stageBytes(Stage stage, const RunFixture& f) {
  const std::int64_t pixels = kRunSize.area();
  switch (stage) {
    case Stage::Decode:
      return static_cast<std::int64_t>(f.jpeg.size()) + 3 * pixels;
    case Stage::Clone:
    case Stage::Blur:
    case Stage::ToHls:
      return 6 * pixels;
    case Stage::MaskAllocation:
      return pixels;
    case Stage::Pass:
      return 4 * pixels;
    case Stage::Release:
      return 0;
  }
  return 0;
}

void benchStageAlone(benchmark::State& state, Stage stage) {
  RunFixture& f = runFixture();
  for (auto _ : state) runStageAlone(stage, f);
  state.SetItemsProcessed(state.iterations() * kRunSize.area());
  state.SetBytesProcessed(state.iterations() * stageBytes(stage, f));
  if (stage == Stage::Decode) {
    state.SetLabel(std::to_string(f.jpeg.size() / 1024) + " KiB JPEG");
  }
}

void benchWholeRun(benchmark::State& state) {
  const RunFixture& f = runFixture();
  InRunSeconds totals{};
  for (auto _ : state) timedRun(f, totals);
  state.SetItemsProcessed(state.iterations() * kRunSize.area());
  for (const Stage stage : kStages) {
    state.counters[inRunCounter(stage)] = benchmark::Counter(
        1e3 * totals[static_cast<std::size_t>(stage)],
        benchmark::Counter::kAvgIterations);
  }
}

}  // namespace

void registerRunStageBenchmarks() {
  // Judged by wall-clock time, as a user waits for it. OpenCV blurs and
  // converts on several threads, so the CPU time is taken of the process:
  // that of this thread alone would leave most of the work out.
  const auto settings = [](benchmark::internal::Benchmark* b) {
    withSharedSettings(b)
        ->UseRealTime()
        ->MeasureProcessCPUTime()
        ->Unit(benchmark::kMillisecond);
  };
  for (const Stage stage : kStages) {
    if (!timedAlone(stage)) continue;
    settings(benchmark::RegisterBenchmark(
        stageName(stage).c_str(),
        [stage](benchmark::State& state) { benchStageAlone(state, stage); }));
  }
  settings(benchmark::RegisterBenchmark(wholeRunName().c_str(), benchWholeRun));
}

}  // namespace tesmic::bench
