#include "sample_fit_bench.h"

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>
#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "pass/colour_classification.h"
#include "pass/sample_fit.h"

namespace tesmic::bench {
namespace {

const cv::Size kSizes[] = {{1152, 864}, {4000, 3000}, {6000, 4000}};

WorkerPool& workers() {
  static WorkerPool pool;
  return pool;
}

// The photograph at the size, a green ellipse shaded from dark to light
// across it, noise over all, in HLS; and where the ellipse lies.
struct Scene {
  explicit Scene(cv::Size s) : size(s) {
    cv::Mat picture = cv::imread(TESMIC_PHOTO);
    if (picture.empty()) return;
    cv::resize(picture, picture, size, 0, 0, cv::INTER_LINEAR);
    const cv::Point centre(size.width * 9 / 16, size.height * 7 / 16);
    const cv::Size axes(size.width / 4, size.height / 5);
    ellipse = cv::Mat(size, CV_8UC1, cv::Scalar(0));
    cv::ellipse(ellipse, centre, axes, 0, 0, 360, cv::Scalar(255), cv::FILLED);
    cv::Mat colour(size, CV_8UC3);
    for (int x = 0; x < size.width; ++x) {
      const double across = (x - centre.x + axes.width) / (2.0 * axes.width);
      colour.col(x).setTo(cv::Scalar(60, 50 + 140 * std::clamp(across, 0.0, 1.0), 200));
    }
    cv::cvtColor(colour, colour, cv::COLOR_HLS2BGR);
    colour.copyTo(picture, ellipse);
    cv::Mat noise(size, CV_16SC3), noisy;
    cv::RNG(0x5a3f1e).fill(noise, cv::RNG::NORMAL, 0, 8);
    picture.convertTo(noisy, CV_16SC3);
    noisy += noise;
    noisy.convertTo(picture, CV_8UC3);
    cv::cvtColor(picture, hls, cv::COLOR_BGR2HLS);
    areas.sample = {cv::Rect(centre.x - axes.width / 5, centre.y - axes.height / 5,
                             2 * axes.width / 5, 2 * axes.height / 5)};
  }
  cv::Size size;
  cv::Mat hls, ellipse;
  SampleAreas areas;
  bool checked = false;
};

Scene& sceneFor(cv::Size size) {
  static std::unique_ptr<Scene> current;
  if (!current || current->size != size) {
    current.reset();
    current = std::make_unique<Scene>(size);
  }
  return *current;
}

// Timing a fit that misses the ellipse would be timing something else.
bool marksTheEllipse(Scene& scene) {
  const SampleFit fit = fitBoundsToSample(scene.hls, scene.areas, workers());
  cv::Mat mask(scene.size, CV_8UC1);
  classifyPixels(scene.hls, mask, fit.bounds, workers());
  const double ofEllipse = static_cast<double>(cv::countNonZero(mask & scene.ellipse)) /
                           cv::countNonZero(scene.ellipse);
  return fit.sampleMarked >= 0.95 && ofEllipse >= 0.9;
}

void timeFit(benchmark::State& state, cv::Size size) {
  Scene& scene = sceneFor(size);
  if (scene.hls.empty()) {
    state.SkipWithError("cannot read " TESMIC_PHOTO);
    return;
  }
  if (!scene.checked && !(scene.checked = marksTheEllipse(scene))) {
    state.SkipWithError("the fit misses the ellipse");
    return;
  }
  for (auto _ : state) {
    SampleFit fit = fitBoundsToSample(scene.hls, scene.areas, workers());
    benchmark::DoNotOptimize(fit);
  }
}

double minimum(const std::vector<double>& v) { return *std::min_element(v.begin(), v.end()); }

}  // namespace

void registerSampleFitBenchmarks() {
  for (const cv::Size size : kSizes) {
    const std::string name =
        "sample_fit/" + std::to_string(size.width) + "x" + std::to_string(size.height);
    benchmark::RegisterBenchmark(name.c_str(), timeFit, size)
        ->MinTime(0.5)->Repetitions(7)->ComputeStatistics("min", minimum)
        ->ReportAggregatesOnly(true)->Unit(benchmark::kMillisecond)->UseRealTime();
  }
}

}  // namespace tesmic::bench
