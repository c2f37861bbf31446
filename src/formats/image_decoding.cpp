#include "formats/image_decoding.h"

#include <cstdlib>
#include <cstring>

#include "formats/format_decoders.h"

namespace tesmic {
namespace {

// OpenCV's defaults (loadsave.cpp), which its environment variables move.
constexpr std::uint64_t kMaxWidth = std::uint64_t{1} << 20;
constexpr std::uint64_t kMaxHeight = std::uint64_t{1} << 20;
constexpr std::uint64_t kMaxPixels = std::uint64_t{1} << 30;

bool limitsMoved() {
  for (const char* name : {"OPENCV_IO_MAX_IMAGE_WIDTH", "OPENCV_IO_MAX_IMAGE_HEIGHT",
                           "OPENCV_IO_MAX_IMAGE_PIXELS", "OPENCV_IMGCODECS_WEBP_MAX_FILE_SIZE"}) {
    if (std::getenv(name) != nullptr) return true;
  }
  return false;
}

bool startsWith(std::span<const std::uint8_t> file, const char* signature, std::size_t size) {
  return file.size() >= size && std::memcmp(file.data(), signature, size) == 0;
}

bool isTiff(std::span<const std::uint8_t> file) {
  return startsWith(file, "II\x2a\x00", 4) || startsWith(file, "MM\x00\x2a", 4) ||
         startsWith(file, "II\x2b\x00", 4) || startsWith(file, "MM\x00\x2b", 4);
}

}  // namespace

bool withinReadLimits(std::uint64_t width, std::uint64_t height) {
  return width > 0 && width <= kMaxWidth && height > 0 && height <= kMaxHeight &&
         width * height <= kMaxPixels;
}

DecodeResult decodeImage(std::span<const std::uint8_t> file, PixelSink& sink) {
  if (limitsMoved()) return {DecodeOutcome::kNotMine};
  // In the order OpenCV tries its decoders; none of the formats before
  // these (BMP, Radiance HDR) can share a signature with them.
  if (startsWith(file, "\xFF\xD8\xFF", 3)) return decodeJpeg(file, sink);
  if (hasWebpSignature(file)) return decodeWebp(file, sink);
  if (isTiff(file)) return decodeTiff(file, sink);
  if (startsWith(file, "\x89PNG\r\n\x1a\n", 8)) return decodePng(file, sink);
  return {DecodeOutcome::kNotMine};
}

}  // namespace tesmic
