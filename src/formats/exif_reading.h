// The orientation that EXIF data asks for, read as cv::imread reads it.
#pragma once

#include <cstdint>
#include <optional>
#include <span>

namespace tesmic {

// The value of the orientation tag in EXIF data (a TIFF header, then the
// first directory), or nothing. Read as OpenCV 4.6's ExifReader does, quirks
// and all: the byte order is Intel only for "II", Motorola otherwise; the
// directory's entries are read in turn, each of the tags it knows with its
// value, and the first entry that reaches outside the data ends the reading
// but keeps what was read before it; the first orientation entry counts.
std::optional<std::uint16_t> exifOrientationTag(std::span<const std::uint8_t> exif);

}  // namespace tesmic
