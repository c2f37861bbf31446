// Turning a decoded image as its file asks, while it is written into the
// sink: rows go straight to their place, mirrored in place, or (when the
// image is transposed) in blocks into columns.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

#include "formats/image_decoding.h"

namespace tesmic {

// How a decoded image is turned for showing: transposed first (when asked),
// then mirrored. The eight combinations are the eight orientations.
struct Orientation {
  bool transpose = false;
  bool flipRows = false;  // upside down
  bool flipCols = false;  // left to right
};

// What cv::imread does for EXIF orientation tag value 1..8; any other
// value leaves the image as it is.
Orientation exifOrientation(int tagValue);

// The sink's pixels for an image decoded as rows x cols and shown turned:
// cols x rows when transposed.
class OrientedImage {
 public:
  OrientedImage(std::uint8_t* pixels, int rows, int cols, Orientation orientation);
  // The sink's pixels for the image as shown; nothing when it refuses them.
  static std::optional<OrientedImage> inSink(PixelSink& sink, int rows, int cols,
                                             Orientation orientation);

  int shownRows() const { return orientation_.transpose ? cols_ : rows_; }
  int shownCols() const { return orientation_.transpose ? rows_ : cols_; }
  bool transposed() const { return orientation_.transpose; }

  // Where decoded row y (cols * 3 bytes of BGR) can be written in place;
  // nullptr when the image is transposed.
  std::uint8_t* rowInPlace(int y) const;
  // Mirrors the row written in place for decoded row y, when asked.
  void finishRowInPlace(int y) const;
  // Writes count decoded rows from y on, step bytes apart, to their place.
  void putRows(int y, int count, const std::uint8_t* rows, std::size_t step) const;

 private:
  std::uint8_t* pixels_;
  int rows_;
  int cols_;
  Orientation orientation_;
};

}  // namespace tesmic
