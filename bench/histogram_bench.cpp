#include "histogram_bench.h"

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>
#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "pass/colour_classification.h"
#include "pass/hls_histograms.h"
#include "pass/huge_pages.h"
#include "run/command_line.h"
#include "ui/histogram_image.h"

namespace tesmic::bench {
namespace {

const cv::Size kSizes[] = {{1152, 864}, {4000, 3000}, {6000, 4000}};  // as the sample fit's

WorkerPool& pool() {
  static WorkerPool workers;
  return workers;
}

// The example's picture, enlarged to size, as HLS; one size at a time.
const cv::Mat& hlsOfSize(cv::Size size) {
  static cv::Mat hls;
  if (hls.size() != size) {
    hls.release();
    const cv::Mat example = cv::imread(std::string(TESMIC_SAMPLE_DIR) + "/" + kExampleImage);
    CV_Assert(!example.empty());
    cv::Mat large;
    cv::resize(example, large, size, 0, 0, cv::INTER_LINEAR);
    hls = imageOnHugePages(size, CV_8UC3);
    cv::cvtColor(large, hls, cv::COLOR_BGR2HLS);
  }
  return hls;
}

// Two bounds a drag of HH goes between.
DetectionBounds boundsAt(std::int64_t iteration) {
  DetectionBounds b = kExampleBounds;
  b.HH = iteration % 2 == 0 ? 170 : 160;
  return b;
}

void redraw(benchmark::State& state, cv::Size size, int rowStep) {
  const cv::Mat& hls = hlsOfSize(size);
  const HlsCounts whole = channelCounts(hls, pool(), rowStep);
  std::int64_t iteration = 0;
  for (auto _ : state) {
    const DetectionBounds bounds = boundsAt(iteration++);
    const HlsCounts passing = countsPassingOthers(hls, bounds, pool(), rowStep);
    const auto values = passingValues(bounds);
    for (int c = 0; c < kHlsChannels; ++c) {
      const QImage drawn = histogramImage(c, whole[c], passing[c], values[c],
                                          QSize(kHistogramWidth, kHistogramHeight));
      benchmark::DoNotOptimize(drawn.constBits());
    }
  }
}

void timeRedraw(benchmark::State& state, cv::Size size) {
  redraw(state, size, histogramRowStep(size));
}

void timeRedrawEveryRow(benchmark::State& state, cv::Size size) { redraw(state, size, 1); }

void timeWhole(benchmark::State& state, cv::Size size) {
  const cv::Mat& hls = hlsOfSize(size);
  for (auto _ : state) {
    const HlsCounts whole = channelCounts(hls, pool(), histogramRowStep(size));
    benchmark::DoNotOptimize(whole.data());
  }
}

void timeMaskPass(benchmark::State& state, cv::Size size) {
  const cv::Mat& hls = hlsOfSize(size);
  cv::Mat mask = imageOnHugePages(size, CV_8UC1).setTo(0);
  std::int64_t iteration = 0;
  for (auto _ : state) {
    classifyPixels(hls, mask, boundsAt(iteration++), pool());
    benchmark::DoNotOptimize(mask.data);
  }
}

double minimum(const std::vector<double>& v) { return *std::min_element(v.begin(), v.end()); }

}  // namespace

void registerHistogramBenchmarks() {
  const struct {
    const char* name;
    void (*time)(benchmark::State&, cv::Size);
  } ways[] = {{"histogram_redraw", timeRedraw},
              {"histogram_redraw_every_row", timeRedrawEveryRow},
              {"histogram_whole", timeWhole},
              {"histogram_mask_pass", timeMaskPass}};
  for (const cv::Size size : kSizes) {
    for (const auto& way : ways) {
      const std::string name = std::string(way.name) + "/" + std::to_string(size.width) + "x" +
                               std::to_string(size.height);
      benchmark::RegisterBenchmark(name.c_str(), way.time, size)
          ->MinTime(0.5)->Repetitions(7)->ComputeStatistics("min", minimum)
          ->ReportAggregatesOnly(true)->Unit(benchmark::kMillisecond)->UseRealTime();
    }
  }
}

}  // namespace tesmic::bench
