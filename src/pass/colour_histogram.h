// The colours of a whole image counted once, and what passes a box of them.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include <opencv2/core/mat.hpp>

#include "pass/worker_pool.h"

namespace tesmic {

inline constexpr int kHues = 181;     // hue 0..180 in OpenCV's 8-bit HLS
inline constexpr int kLevels = 256;   // lightness, saturation 0..255

// The colours the fit keeps or drops: any set of hues, lightness strictly
// between lightnessAbove and lightnessBelow, saturation above
// saturationAbove. The rule's own set is one of these.
struct ColourBox {
  std::array<bool, kHues> hues{};
  int lightnessAbove = -1;
  int lightnessBelow = kLevels;
  int saturationAbove = -1;
};

// A joint histogram of hue (exact) x lightness x saturation (in bins of 8),
// beside exact histograms of hue x lightness and hue x saturation. The
// marginals given a box spread each bin's count over its exact values in
// the proportions of the exact histograms of its hue, so they are exact in
// the channel they count and approximate only within a bin of the others.
class ColourHistogram {
 public:
  // One pass over hls (CV_8UC3) shared between the threads of workers; a hue
  // above 180 is counted as 180.
  ColourHistogram(const cv::Mat& hls, WorkerPool& workers);

  // How many pixels of each hue pass the box's lightness and saturation.
  std::array<double, kHues> huesIn(const ColourBox& box) const;
  // How many pixels of each lightness pass the box's hues and saturation.
  std::array<double, kLevels> lightnessesIn(const ColourBox& box) const;
  // How many pixels of each saturation pass the box's hues and lightness.
  std::array<double, kLevels> saturationsIn(const ColourBox& box) const;
  // How many pixels lie in the box.
  double pixelsIn(const ColourBox& box) const;

  static constexpr int kBinShift = 3;
  static constexpr int kBins = kLevels >> kBinShift;

 private:
  // Per bin of one channel for one hue: the share of its pixels inside
  // above..below (exclusive), from that hue's exact histogram.
  using BinShares = std::array<float, kBins>;
  static BinShares sharesWithin(const std::uint32_t* exact, int above, int below);

  std::vector<std::uint32_t> joint_;      // [hue][lightness bin][saturation bin]
  std::vector<std::uint32_t> lightness_;  // [hue][lightness]
  std::vector<std::uint32_t> saturation_; // [hue][saturation]
};

}  // namespace tesmic
