#include "formats/oriented_image.h"

#include <algorithm>
#include <cstring>

namespace tesmic {
namespace {

constexpr int kChannels = 3;

void mirrorRow(std::uint8_t* row, int cols) {
  std::uint8_t* left = row;
  std::uint8_t* right = row + static_cast<std::size_t>(cols - 1) * kChannels;
  for (; left < right; left += kChannels, right -= kChannels) {
    std::swap_ranges(left, left + kChannels, right);
  }
}

}  // namespace

Orientation exifOrientation(int tagValue) {
  // As loadsave.cpp's ExifTransform: 2 flips left to right, 3 both ways,
  // 4 upside down; 5 to 8 transpose first, then flip as 1 to 4 do.
  switch (tagValue) {
    case 2:
      return {false, false, true};
    case 3:
      return {false, true, true};
    case 4:
      return {false, true, false};
    case 5:
      return {true, false, false};
    case 6:
      return {true, false, true};
    case 7:
      return {true, true, true};
    case 8:
      return {true, true, false};
    default:
      return {};
  }
}

OrientedImage::OrientedImage(std::uint8_t* pixels, int rows, int cols, Orientation orientation)
    : pixels_(pixels), rows_(rows), cols_(cols), orientation_(orientation) {}

std::optional<OrientedImage> OrientedImage::inSink(PixelSink& sink, int rows, int cols,
                                                   Orientation orientation) {
  std::uint8_t* const pixels =
      orientation.transpose ? sink.pixels(cols, rows) : sink.pixels(rows, cols);
  if (pixels == nullptr) return std::nullopt;
  return OrientedImage(pixels, rows, cols, orientation);
}

std::uint8_t* OrientedImage::rowInPlace(int y) const {
  if (orientation_.transpose) return nullptr;
  const int shown = orientation_.flipRows ? rows_ - 1 - y : y;
  return pixels_ + static_cast<std::size_t>(shown) * cols_ * kChannels;
}

void OrientedImage::finishRowInPlace(int y) const {
  if (orientation_.flipCols && !orientation_.transpose) mirrorRow(rowInPlace(y), cols_);
}

void OrientedImage::putRows(int y, int count, const std::uint8_t* rows, std::size_t step) const {
  const std::size_t rowBytes = static_cast<std::size_t>(cols_) * kChannels;
  if (!orientation_.transpose) {
    for (int i = 0; i < count; ++i) {
      std::memcpy(rowInPlace(y + i), rows + i * step, rowBytes);
      finishRowInPlace(y + i);
    }
    return;
  }
  // Decoded pixel (y, x) is shown at row x, column y, each mirrored when
  // asked. Column by column of the decoded block, so that each shown row
  // takes count neighbouring pixels at once.
  const std::size_t shownRowBytes = static_cast<std::size_t>(rows_) * kChannels;
  for (int x = 0; x < cols_; ++x) {
    const int shownRow = orientation_.flipRows ? cols_ - 1 - x : x;
    std::uint8_t* out = pixels_ + static_cast<std::size_t>(shownRow) * shownRowBytes;
    const std::uint8_t* in = rows + static_cast<std::size_t>(x) * kChannels;
    for (int i = 0; i < count; ++i, in += step) {
      const int shownCol = orientation_.flipCols ? rows_ - 1 - (y + i) : y + i;
      std::memcpy(out + static_cast<std::size_t>(shownCol) * kChannels, in, kChannels);
    }
  }
}

}  // namespace tesmic
