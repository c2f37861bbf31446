// The sliders that tune the six bounds while the windows are open.
#pragma once

#include <array>

#include "pass/detection_bounds.h"

namespace tesmic {

// The bounds in command-line order, by the names the sliders carry.
inline constexpr int kBoundCount = 6;
inline constexpr std::array<const char*, kBoundCount> kBoundNames = {"HH", "HL", "SH",
                                                                     "SL", "VH", "VL"};
// What each slider's label says: the bound's name and what passes, in the
// letters of the pixel readout (H, L, S), so that the panel reads without a
// table. The hue test passes above HH or below HL.
inline constexpr std::array<const char*, kBoundCount> kSliderLabels = {
    "HH: H >", "HL: nebo H <", "SH: L >", "SL: L <", "VH: S >", "VL: L >"};
int& boundAt(DetectionBounds& bounds, int index);
int boundAt(const DetectionBounds& bounds, int index);

// The values of one slider, both ends included.
struct SliderRange {
  int min;
  int max;
};

// Every value of the bound that gives a mask of its own, and no more. Hue
// is 0..180 in OpenCV's 8-bit HLS, lightness and saturation 0..255, and each
// test is strict: HH -1..180 (h > HH), HL 0..181 (h < HL), SH -1..255,
// SL 0..256, VH -1..255, VL -1..255. A bound beyond its range gives the
// same mask as the nearer end.
SliderRange sliderRange(int index);

// Each bound moved to the nearer end of its slider when beyond it: the same
// verdict for every colour an HLS image can hold.
DetectionBounds clampedToSliders(const DetectionBounds& bounds);

}  // namespace tesmic
