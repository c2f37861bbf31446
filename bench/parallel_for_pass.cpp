#include "parallel_for_pass.h"

#include <algorithm>
#include <cstdint>

#include <opencv2/core/utility.hpp>

#include "pass/colour_classification_detail.h"

namespace tesmic::bench {

void classifyWithParallelFor(const cv::Mat& hls, cv::Mat& mask, const DetectionBounds& bounds) {
  checkPassImages(hls, mask);
  const ByteThresholds thresholds = byteThresholdsFor(bounds);
  const bool stream = usesStreamingStores(hls.size());
  if (!splitsBetweenThreads(hls.size())) {
    classifyRows(hls, mask, 0, hls.rows, thresholds, stream);
    return;
  }
  // One stripe per run: TBB hands them out as the pool hands out its runs.
  const int rowsPerRun = rowsPerPiece(hls.cols);
  const int runs = (hls.rows + rowsPerRun - 1) / rowsPerRun;
  cv::parallel_for_(
      cv::Range(0, runs),
      [&](const cv::Range& r) {
        classifyRows(hls, mask, r.start * rowsPerRun, std::min(r.end * rowsPerRun, hls.rows),
                     thresholds, stream);
      },
      runs);
}

namespace {

// Both kinds of store, a whole vector and a tail, on a buffer of its own.
void warmUp() {
  constexpr int kPixels = 67;
  alignas(64) std::uint8_t hlsBytes[3 * kPixels] = {};
  alignas(64) std::uint8_t maskBytes[kPixels];
  const cv::Mat hls(1, kPixels, CV_8UC3, hlsBytes);
  cv::Mat mask(1, kPixels, CV_8UC1, maskBytes);
  for (const bool stream : {false, true}) classifyRows(hls, mask, 0, 1, ByteThresholds{}, stream);
}

}  // namespace

void prepareParallelFor() {
  warmUp();  // the first dispatch picks the instruction set, once
  const int threads = std::max(cv::getNumThreads(), 1);
  cv::parallel_for_(cv::Range(0, threads), [](const cv::Range&) { warmUp(); }, threads);
}

}  // namespace tesmic::bench
