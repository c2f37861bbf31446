#include "pass/area_colours.h"

#include <algorithm>
#include <cstddef>
#include <utility>

#include "pass/sample_fit.h"

namespace tesmic {
namespace {

// The rectangles clipped to the image, the empty ones dropped.
std::vector<cv::Rect> clipped(const std::vector<cv::Rect>& rects, cv::Size size) {
  std::vector<cv::Rect> inside;
  const cv::Rect image({0, 0}, size);
  for (const cv::Rect& r : rects) {
    const cv::Rect c = r & image;
    if (!c.empty()) inside.push_back(c);
  }
  return inside;
}

// The columns of row y that the rectangles cover, merged into disjoint
// ascending intervals [x0, x1).
void coveredColumns(const std::vector<cv::Rect>& rects, int y, std::vector<RowSpan>& out) {
  out.clear();
  for (const cv::Rect& r : rects) {
    if (y >= r.y && y < r.y + r.height) out.push_back({y, r.x, r.x + r.width});
  }
  std::sort(out.begin(), out.end(), [](const RowSpan& a, const RowSpan& b) { return a.x0 < b.x0; });
  std::size_t merged = 0;
  for (const RowSpan& s : out) {
    if (merged > 0 && s.x0 <= out[merged - 1].x1) {
      out[merged - 1].x1 = std::max(out[merged - 1].x1, s.x1);
    } else {
      out[merged++] = s;
    }
  }
  out.resize(merged);
}

// Appends the parts of the spans a that no span of b covers (both disjoint
// and ascending).
void appendDifference(const std::vector<RowSpan>& a, const std::vector<RowSpan>& b,
                      std::vector<RowSpan>& out) {
  std::size_t j = 0;
  for (const RowSpan& s : a) {
    int from = s.x0;
    while (j < b.size() && b[j].x1 <= from) ++j;
    for (std::size_t k = j; k < b.size() && b[k].x0 < s.x1; ++k) {
      if (b[k].x0 > from) out.push_back({s.y, from, b[k].x0});
      from = std::max(from, b[k].x1);
    }
    if (from < s.x1) out.push_back({s.y, from, s.x1});
  }
}

// Sorts 24-bit keys by two passes of counting on 12 bits each.
void sortKeys(std::vector<std::uint32_t>& keys) {
  constexpr int kDigitBits = 12;
  constexpr std::uint32_t kDigits = 1u << kDigitBits;
  std::vector<std::uint32_t> other(keys.size());
  std::vector<std::size_t> start(kDigits);
  for (int shift = 0; shift < 2 * kDigitBits; shift += kDigitBits) {
    std::fill(start.begin(), start.end(), 0);
    for (const std::uint32_t k : keys) ++start[(k >> shift) & (kDigits - 1)];
    std::size_t sum = 0;
    for (std::size_t& s : start) sum += std::exchange(s, sum);
    for (const std::uint32_t k : keys) other[start[(k >> shift) & (kDigits - 1)]++] = k;
    keys.swap(other);
  }
}

}  // namespace

AreaSpans spansOfAreas(cv::Size size, const SampleAreas& areas) {
  const std::vector<cv::Rect> sample = clipped(areas.sample, size);
  const std::vector<cv::Rect> excluded = clipped(areas.excluded, size);
  AreaSpans spans;
  std::vector<RowSpan> sampleRow, excludedRow;
  for (int y = 0; y < size.height; ++y) {
    coveredColumns(sample, y, sampleRow);
    coveredColumns(excluded, y, excludedRow);
    appendDifference(sampleRow, excludedRow, spans.sample);
    spans.excluded.insert(spans.excluded.end(), excludedRow.begin(), excludedRow.end());
  }
  return spans;
}

ColourList coloursUnder(const cv::Mat& hls, const std::vector<RowSpan>& spans,
                        std::uint64_t mostPixels) {
  CV_Assert(hls.type() == CV_8UC3);
  std::uint64_t pixels = 0;
  for (const RowSpan& s : spans) pixels += static_cast<std::uint64_t>(s.x1 - s.x0);
  const std::uint64_t step = std::max<std::uint64_t>(1, (pixels + mostPixels - 1) / mostPixels);
  std::vector<std::uint32_t> keys;
  keys.reserve(static_cast<std::size_t>(pixels / step + 1));
  std::uint64_t skip = 0;  // pixels to pass over before the next one taken
  for (const RowSpan& s : spans) {
    const std::uint8_t* p = hls.ptr<std::uint8_t>(s.y) + 3 * s.x0;
    for (int x = s.x0; x < s.x1; ++x, p += 3) {
      if (skip > 0) {
        --skip;
        continue;
      }
      keys.push_back(std::uint32_t{p[0]} << 16 | std::uint32_t{p[1]} << 8 | p[2]);
      skip = step - 1;
    }
  }
  sortKeys(keys);
  ColourList list;
  list.pixels = keys.size();
  for (std::size_t i = 0; i < keys.size();) {
    std::size_t j = i + 1;
    while (j < keys.size() && keys[j] == keys[i]) ++j;
    list.colours.push_back({static_cast<std::uint8_t>(keys[i] >> 16),
                            static_cast<std::uint8_t>(keys[i] >> 8),
                            static_cast<std::uint8_t>(keys[i]),
                            static_cast<std::uint32_t>(j - i)});
    i = j;
  }
  return list;
}

}  // namespace tesmic
