// What lies behind the pass, for its tests and benchmarks.
#pragma once

#include <cstdint>

#include <opencv2/core/mat.hpp>

#include "pass/detection_bounds.h"

namespace tesmic {

// The bounds restated over bytes. For every channel the set of byte values
// that pass is either empty or a run of consecutive values that may wrap past
// 255 to 0 (the hue band excludes an interval, so its complement wraps). Such
// a run is {x : uint8(x - start) <= span}, one subtraction and one unsigned
// comparison per channel.
struct ByteThresholds {
  bool matchesNothing = false;  // some channel admits no value at all
  std::uint8_t start[3] = {0, 0, 0};
  std::uint8_t span[3] = {255, 255, 255};

  friend bool operator==(const ByteThresholds&, const ByteThresholds&) = default;
};

ByteThresholds byteThresholdsFor(const DetectionBounds& bounds);

// The verdict for one pixel, channel values c0 = hue, c1 = lightness,
// c2 = saturation, under the thresholds of the bounds.
inline bool passesThresholds(std::uint8_t c0, std::uint8_t c1, std::uint8_t c2,
                             const ByteThresholds& t) {
  return !t.matchesNothing &&
         static_cast<std::uint8_t>(c0 - t.start[0]) <= t.span[0] &&
         static_cast<std::uint8_t>(c1 - t.start[1]) <= t.span[1] &&
         static_cast<std::uint8_t>(c2 - t.start[2]) <= t.span[2];
}

// Throws cv::Exception unless hls (CV_8UC3) and mask (CV_8UC1) are 2-D
// images of the same size, as the pass and the kernels held against it need.
void checkPassImages(const cv::Mat& hls, const cv::Mat& mask);

// The pass over the rows fromRow..toRow-1 alone, on the calling thread, with
// the whole image's thresholds and kind of store: one thread's share of a
// pass split between threads. The images must have passed checkPassImages.
void classifyRows(const cv::Mat& hls, cv::Mat& mask, int fromRow, int toRow,
                  const ByteThresholds& thresholds, bool stream);

// Whether the pass over an image of this size stores the mask past the
// caches (a mask that does not fit in them then costs no read of its lines).
bool usesStreamingStores(cv::Size size);

// Whether the pass with workers splits an image of this size between them,
// and into runs of how many rows (each of about 64K pixels).
bool splitsBetweenThreads(cv::Size size);
int rowsPerPiece(int width);

}  // namespace tesmic
