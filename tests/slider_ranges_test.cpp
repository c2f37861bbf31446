#include "ui/slider_ranges.h"

#include <array>
#include <bitset>
#include <climits>
#include <cstdint>

#include <gtest/gtest.h>

#include "pass/colour_classification_detail.h"

namespace tesmic {
namespace {

constexpr int kDomainMax[3] = {180, 255, 255};  // hue, lightness, saturation in 8-bit HLS

// The verdicts of a bound set over every colour an HLS image can hold, read
// off its byte thresholds: a set of passing values per channel, all three
// empty when no colour passes.
std::array<std::bitset<256>, 3> verdicts(const DetectionBounds& b) {
  const ByteThresholds t = byteThresholdsFor(b);
  std::array<std::bitset<256>, 3> sets;
  for (int c = 0; c < 3; ++c) {
    for (int v = 0; v <= kDomainMax[c]; ++v) {
      sets[c][v] = static_cast<std::uint8_t>(v - t.start[c]) <= t.span[c];
    }
  }
  if (t.matchesNothing || sets[0].none() || sets[1].none() || sets[2].none()) return {};
  return sets;
}

TEST(SliderRanges, ClampingNeverChangesAVerdict) {
  const DetectionBounds others[] = {{175, 30, 160, 240, 90, 0},
                                    {180, 0, -1, 256, -1, -1},
                                    {50, 100, 20, 200, 10, 150}};
  for (const DetectionBounds& base : others) {
    for (int i = 0; i < kBoundCount; ++i) {
      for (int v = -600; v <= 900; ++v) {
        DetectionBounds b = base;
        boundAt(b, i) = v;
        ASSERT_EQ(verdicts(clampedToSliders(b)), verdicts(b)) << kBoundNames[i] << "=" << v;
      }
      for (const int extreme : {INT_MIN, INT_MAX}) {
        DetectionBounds b = base;
        boundAt(b, i) = extreme;
        ASSERT_EQ(verdicts(clampedToSliders(b)), verdicts(b)) << kBoundNames[i] << "=" << extreme;
      }
    }
  }
}

// And no value of a slider is wasted: with the other bounds out of the way,
// each step gives another mask.
TEST(SliderRanges, EveryValueOfASliderGivesAMaskOfItsOwn) {
  const DetectionBounds open[kBoundCount] = {
      {0, 0, -1, 256, -1, -1},      // HH alone decides the hue
      {180, 0, -1, 256, -1, -1},    // HL alone decides the hue
      {-1, 181, 0, 256, -1, -1},    // SH
      {-1, 181, -1, 0, -1, -1},     // SL
      {-1, 181, -1, 256, 0, -1},    // VH
      {-1, 181, -1, 256, -1, 0},    // VL
  };
  for (int i = 0; i < kBoundCount; ++i) {
    const SliderRange range = sliderRange(i);
    DetectionBounds b = open[i];
    boundAt(b, i) = range.min;
    auto previous = verdicts(b);
    for (int v = range.min + 1; v <= range.max; ++v) {
      boundAt(b, i) = v;
      const auto current = verdicts(b);
      EXPECT_NE(current, previous) << kBoundNames[i] << " " << v - 1 << " and " << v;
      previous = current;
    }
  }
}

}  // namespace
}  // namespace tesmic
