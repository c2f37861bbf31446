// The pixels of the dragged areas, each counted once, and the colours they hold.
#pragma once

#include <cstdint>
#include <vector>

#include <opencv2/core/mat.hpp>
#include <opencv2/core/types.hpp>

namespace tesmic {

struct SampleAreas;

// The columns x0..x1-1 of row y.
struct RowSpan {
  int y;
  int x0;
  int x1;
};

// The pixels of the areas as spans, row by row in ascending order, disjoint,
// so that each pixel is in one span at most: the rectangles clipped to an
// image of this size, overlaps merged, excluded pixels left out of the sample.
struct AreaSpans {
  std::vector<RowSpan> sample;
  std::vector<RowSpan> excluded;
};
AreaSpans spansOfAreas(cv::Size size, const SampleAreas& areas);

// One colour (hue, lightness, saturation) and how many pixels hold it.
struct ColourCount {
  std::uint8_t hue = 0;
  std::uint8_t lightness = 0;
  std::uint8_t saturation = 0;
  std::uint32_t count = 0;
};

// The distinct colours of some pixels, and how many pixels those are.
struct ColourList {
  std::vector<ColourCount> colours;
  std::uint64_t pixels = 0;
};

// The colours of hls (CV_8UC3) under spans, each distinct colour once.
ColourList coloursUnder(const cv::Mat& hls, const std::vector<RowSpan>& spans);

}  // namespace tesmic
