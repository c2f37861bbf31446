// The pass against the literal loop, the inRange composition and the
// streaming bound, on the same random images, size by size.
#include <cstdint>
#include <memory>
#include <string>

#include <opencv2/core.hpp>

#include "baseline_classifiers.h"
#include "bench_catalogue.h"
#include "bench_images.h"
#include "colour_classification.h"
#include "registration.h"
#include "streaming_bound.h"

namespace tesmic::bench {
namespace {

// Everything the benchmarks of one size share.
struct SizeFixture {
  explicit SizeFixture(cv::Size s)
      : size(s),
        hls(randomHlsImage(s)),
        // Zeroed now so that its pages are committed before any timing, as
        // the program does with its mask.
        mask(s, CV_8UC1, cv::Scalar(0)),
        reference(s, CV_8UC1, cv::Scalar(0)),
        scratch{cv::Mat(s, CV_8UC1, cv::Scalar(0)),
                cv::Mat(s, CV_8UC1, cv::Scalar(0))} {
    classifyLiteral(hls, reference, benchmarkBounds());
  }

  cv::Size size;
  cv::Mat hls;
  cv::Mat mask;       // what the timed calls write into
  cv::Mat reference;  // the literal loop's mask, which the others must match
  InRangeScratch scratch;
  bool checked[kClassifiers.size()] = {};
};

// Only one size is held at a time: the benchmarks run size by size, and
// 8000x8000 alone is half a gigabyte with its masks.
SizeFixture& fixtureFor(cv::Size size) {
  static std::unique_ptr<SizeFixture> current;
  if (!current || current->size != size) {
    current.reset();
    current = std::make_unique<SizeFixture>(size);
  }
  return *current;
}

void classify(Classifier c, SizeFixture& f) {
  static const DetectionBounds bounds = benchmarkBounds();
  switch (c) {
    case Classifier::Literal:
      classifyLiteral(f.hls, f.mask, bounds);
      break;
    case Classifier::InRange:
      classifyWithInRange(f.hls, f.mask, bounds, f.scratch);
      break;
    case Classifier::StreamingBound:
      streamingBound(f.hls, f.mask, StoreStyle::Plain);
      break;
    case Classifier::StreamingBoundNonTemporal:
      streamingBound(f.hls, f.mask, StoreStyle::NonTemporal);
      break;
    case Classifier::Pass:
      classifyPixels(f.hls, f.mask, bounds);
      break;
  }
}

// How many mask bytes differ from the OR of their pixel's channels.
std::int64_t channelOrMismatches(const cv::Mat& hls, const cv::Mat& mask) {
  std::int64_t wrong = 0;
  for (int y = 0; y < hls.rows; ++y) {
    const std::uint8_t* in = hls.ptr<std::uint8_t>(y);
    const std::uint8_t* out = mask.ptr<std::uint8_t>(y);
    for (int x = 0; x < hls.cols; ++x) {
      const std::uint8_t* p = in + 3 * x;
      wrong += out[x] != (p[0] | p[1] | p[2]);
    }
  }
  return wrong;
}

// Empty when the classifier writes the mask it should at this size, else
// what is wrong. Timing a wrong mask would be timing something else.
std::string problemWith(Classifier c, SizeFixture& f) {
  if (c == Classifier::Literal) return {};  // it made the reference
  f.mask.setTo(cv::Scalar(0x5A));           // no byte may survive the call
  classify(c, f);
  const bool bound = c == Classifier::StreamingBound ||
                     c == Classifier::StreamingBoundNonTemporal;
  const std::int64_t wrong =
      bound ? channelOrMismatches(f.hls, f.mask)
          : std::int64_t{cv::countNonZero(f.mask != f.reference)};
  if (wrong == 0) return {};
  return std::string(classifierLabel(c)) + " gives a wrong mask at " +
         sizeText(f.size) + ": " + std::to_string(wrong) + " pixels differ";
}

void benchClassifier(benchmark::State& state, Classifier c, cv::Size size) {
  SizeFixture& f = fixtureFor(size);
  bool& checked = f.checked[static_cast<int>(c)];
  if (!checked) {
    const std::string problem = problemWith(c, f);
    if (!problem.empty()) {
      state.SkipWithError(problem.c_str());
      return;
    }
    checked = true;
  }
  for (auto _ : state) {
    classify(c, f);
    benchmark::DoNotOptimize(f.mask.data);
    benchmark::ClobberMemory();
  }
  const std::int64_t pixels = size.area();
  state.SetItemsProcessed(state.iterations() * pixels);
  // Three bytes read and one written per pixel.
  state.SetBytesProcessed(state.iterations() * pixels * 4);
}

}  // namespace

void registerClassificationBenchmarks() {
  // Timed on the thread's CPU clock: every classifier here runs on the one
  // thread, and on a shared machine wall-clock time also counts the time
  // the thread waits for a core.
  for (const cv::Size size : kClassificationSizes) {
    for (const Classifier c : kClassifiers) {
      withSharedSettings(benchmark::RegisterBenchmark(
                             classificationName(c, size).c_str(),
                             [c, size](benchmark::State& state) {
                               benchClassifier(state, c, size);
                             }))
          ->Unit(benchmark::kMicrosecond);
    }
  }
}

}  // namespace tesmic::bench
