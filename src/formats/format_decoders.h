// The decoders behind decodeImage(), one a format, and what they share.
// Each mirrors the calls OpenCV's codec for its format makes on the same
// library, in the same order, so that the library's answers (pixels,
// warnings, failures) are the same; each takes a file whose signature is
// its own.
#pragma once

#include <cstdint>
#include <span>

#include "formats/image_decoding.h"

namespace tesmic {

DecodeResult decodeJpeg(std::span<const std::uint8_t> file, PixelSink& sink);
DecodeResult decodePng(std::span<const std::uint8_t> file, PixelSink& sink);
DecodeResult decodeTiff(std::span<const std::uint8_t> file, PixelSink& sink);
DecodeResult decodeWebp(std::span<const std::uint8_t> file, PixelSink& sink);

// Whether OpenCV takes the file for WebP: libwebp finds an image's
// features in its first 32 bytes.
bool hasWebpSignature(std::span<const std::uint8_t> file);

// Whether cv::imread takes an image of this size from its header: it fails
// one wider or taller than 2^20 pixels, larger than 2^30, or empty.
bool withinReadLimits(std::uint64_t width, std::uint64_t height);

}  // namespace tesmic
