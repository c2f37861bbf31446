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

// The colours of hls (CV_8UC3) under spans, each distinct colour once; of
// every pixel while there are at most mostPixels, else of every k-th pixel
// along the spans, k as small as keeps to mostPixels.
ColourList coloursUnder(const cv::Mat& hls, const std::vector<RowSpan>& spans,
                        std::uint64_t mostPixels);

// How many pixels under spans there are, and how many of them pass(h, l, s).
struct PixelCount {
  std::uint64_t pixels = 0;
  std::uint64_t passing = 0;
};
template <typename Pass>
PixelCount countUnder(const cv::Mat& hls, const std::vector<RowSpan>& spans, Pass pass) {
  PixelCount n;
  for (const RowSpan& r : spans) {
    const std::uint8_t* p = hls.ptr<std::uint8_t>(r.y) + 3 * r.x0;
    for (int x = r.x0; x < r.x1; ++x, p += 3) n.passing += pass(p[0], p[1], p[2]) ? 1 : 0;
    n.pixels += static_cast<std::uint64_t>(r.x1 - r.x0);
  }
  return n;
}

}  // namespace tesmic
