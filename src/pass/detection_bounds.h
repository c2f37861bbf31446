// The six bounds that define the sought colour.
#pragma once

namespace tesmic {

// Bounds are compared with the channels of an HLS pixel (hue, lightness,
// saturation) as plain signed ints, so any value is meaningful: a bound below
// 0 or above 255 simply admits every or no byte value.
//
// A pixel is the sought colour when
//   hue > HH or hue < HL,
//   SH < lightness < SL and lightness > VL,
//   saturation > VH.
struct DetectionBounds {
  int HH = 0;
  int HL = 0;
  int SH = 0;
  int SL = 0;
  int VH = 0;
  int VL = 0;

  friend bool operator==(const DetectionBounds&, const DetectionBounds&) = default;
};

}  // namespace tesmic
