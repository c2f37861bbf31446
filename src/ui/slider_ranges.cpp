#include "ui/slider_ranges.h"

#include <algorithm>

namespace tesmic {
namespace {

constexpr int kHueMax = 180;
constexpr int kByteMax = 255;

}  // namespace

int& boundAt(DetectionBounds& b, int index) {
  int* const bounds[kBoundCount] = {&b.HH, &b.HL, &b.SH, &b.SL, &b.VH, &b.VL};
  return *bounds[index];
}

int boundAt(const DetectionBounds& b, int index) {
  return boundAt(const_cast<DetectionBounds&>(b), index);
}

SliderRange sliderRange(int index) {
  // A "greater than" test changes only from one below the channel's least
  // value to its greatest; a "less than" test from its least value to one
  // past its greatest.
  constexpr SliderRange ranges[kBoundCount] = {
      {-1, kHueMax},      // HH: hue > HH
      {0, kHueMax + 1},   // HL: hue < HL
      {-1, kByteMax},     // SH: lightness > SH
      {0, kByteMax + 1},  // SL: lightness < SL
      {-1, kByteMax},     // VH: saturation > VH
      {-1, kByteMax},     // VL: lightness > VL
  };
  return ranges[index];
}

DetectionBounds clampedToSliders(const DetectionBounds& bounds) {
  DetectionBounds clamped = bounds;
  for (int i = 0; i < kBoundCount; ++i) {
    const SliderRange range = sliderRange(i);
    boundAt(clamped, i) = std::clamp(boundAt(bounds, i), range.min, range.max);
  }
  return clamped;
}

}  // namespace tesmic
