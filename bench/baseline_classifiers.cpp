#include "baseline_classifiers.h"

#include <algorithm>
#include <cstdint>

#include <opencv2/core.hpp>

#include "pass/colour_classification.h"
#include "reference_rule.h"

namespace tesmic::bench {

void classifyLiteral(const cv::Mat& hls, cv::Mat& mask,
                     const DetectionBounds& bounds) {
  CV_Assert(hls.type() == CV_8UC3 && mask.type() == CV_8UC1);
  CV_Assert(hls.size() == mask.size());
  for (int y = 0; y < hls.rows; ++y) {
    const std::uint8_t* in = hls.ptr<std::uint8_t>(y);
    std::uint8_t* out = mask.ptr<std::uint8_t>(y);
    for (int x = 0; x < hls.cols; ++x) {
      const std::uint8_t* p = in + 3 * x;
      out[x] = reference::ruleHolds(p[0], p[1], p[2], bounds) ? kSought : kOther;
    }
  }
}

namespace {

// An inclusive range of byte values, clipped to 0..255 so that inRange only
// ever sees byte values: beyond the range of int it goes wrong (an upper
// bound of 2^31 admits nothing). Wide so that INT_MAX + 1 fits.
struct ByteRange {
  std::int64_t lo;
  std::int64_t hi;

  static ByteRange clipped(std::int64_t lo, std::int64_t hi) {
    return {std::max<std::int64_t>(lo, 0), std::min<std::int64_t>(hi, 255)};
  }
  bool empty() const { return lo > hi; }
};

}  // namespace

void classifyWithInRange(const cv::Mat& hls, cv::Mat& mask,
                         const DetectionBounds& b, InRangeScratch& scratch) {
  CV_Assert(hls.type() == CV_8UC3 && mask.type() == CV_8UC1);
  CV_Assert(hls.size() == mask.size());
  const ByteRange lowHue = ByteRange::clipped(0, std::int64_t{b.HL} - 1);
  const ByteRange highHue = ByteRange::clipped(std::int64_t{b.HH} + 1, 255);
  const ByteRange lightness = ByteRange::clipped(
      std::int64_t{std::max(b.SH, b.VL)} + 1, std::int64_t{b.SL} - 1);
  const ByteRange saturation = ByteRange::clipped(std::int64_t{b.VH} + 1, 255);

  if (lightness.empty() || saturation.empty() ||
      (lowHue.empty() && highHue.empty())) {
    mask.setTo(cv::Scalar(kOther));
    return;
  }
  const auto band = [&](const ByteRange& hue, cv::Mat& out) {
    cv::inRange(hls,
                cv::Scalar(double(hue.lo), double(lightness.lo),
                           double(saturation.lo)),
                cv::Scalar(double(hue.hi), double(lightness.hi),
                           double(saturation.hi)),
                out);
  };
  if (lowHue.empty()) {
    band(highHue, mask);
  } else if (highHue.empty()) {
    band(lowHue, mask);
  } else {
    band(lowHue, scratch.lowHue);
    band(highHue, scratch.highHue);
    cv::bitwise_or(scratch.lowHue, scratch.highHue, mask);
  }
}

}  // namespace tesmic::bench
