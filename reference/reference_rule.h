// The rule written once more, apart from the program, for the tests and the
// benchmarks to hold it against: straight from its description, in 64-bit
// arithmetic, where the program works on byte thresholds.
#pragma once

#include <cstdint>

#include <opencv2/core/mat.hpp>

#include "pass/detection_bounds.h"

namespace tesmic::reference {

// The rule is one test per channel, all three of which must hold.
inline bool hueOutsideBand(long long h, const DetectionBounds& b) { return h > b.HH || h < b.HL; }
inline bool lightnessBetween(long long l, const DetectionBounds& b) {
  return l > b.SH && l < b.SL && l > b.VL;
}
inline bool saturationAbove(long long s, const DetectionBounds& b) { return s > b.VH; }

inline bool ruleHolds(int hue, int lightness, int saturation, const DetectionBounds& b) {
  return hueOutsideBand(hue, b) && lightnessBetween(lightness, b) && saturationAbove(saturation, b);
}

// 255 where the rule holds for the pixel of hls (CV_8UC3: H, L, S), else 0.
inline cv::Mat referenceMask(const cv::Mat& hls, const DetectionBounds& b) {
  cv::Mat mask(hls.size(), CV_8UC1);
  for (int y = 0; y < hls.rows; ++y) {
    const auto* p = hls.ptr<std::uint8_t>(y);
    auto* out = mask.ptr<std::uint8_t>(y);
    for (int x = 0; x < hls.cols; ++x, p += 3) out[x] = ruleHolds(p[0], p[1], p[2], b) ? 255 : 0;
  }
  return mask;
}

}  // namespace tesmic::reference
