// WebP as OpenCV's WebPDecoder reads it: the features from the first 32
// bytes, then the whole file decoded in one call. OpenCV decodes an image
// with alpha to BGRA and drops the alpha; straight to BGR gives the same
// colours, and libwebp decodes the alpha plane all the same, so a broken
// one fails the image here too. libwebp prints nothing: nothing is damage.
#include <webp/decode.h>

#include "formats/format_decoders.h"

namespace tesmic {
namespace {

constexpr std::size_t kHeaderBytes = 32;
// OpenCV refuses larger files outright (OPENCV_IMGCODECS_WEBP_MAX_FILE_SIZE).
constexpr std::size_t kMaxFileBytes = std::size_t{64} << 20;

}  // namespace

bool hasWebpSignature(std::span<const std::uint8_t> file) {
  WebPBitstreamFeatures features;
  return file.size() >= kHeaderBytes &&
         WebPGetFeatures(file.data(), kHeaderBytes, &features) == VP8_STATUS_OK;
}

DecodeResult decodeWebp(std::span<const std::uint8_t> file, PixelSink& sink) {
  WebPBitstreamFeatures features;
  if (file.size() < kHeaderBytes || file.size() > kMaxFileBytes ||
      WebPGetFeatures(file.data(), kHeaderBytes, &features) != VP8_STATUS_OK ||
      features.width < 0 || features.height < 0 ||
      !withinReadLimits(static_cast<std::uint64_t>(features.width),
                        static_cast<std::uint64_t>(features.height))) {
    return {DecodeOutcome::kFailed};
  }
  const int rows = features.height;
  const int cols = features.width;
  std::uint8_t* const pixels = sink.pixels(rows, cols);
  if (pixels == nullptr) return {DecodeOutcome::kTooLarge};
  const std::size_t bytes = static_cast<std::size_t>(rows) * static_cast<std::size_t>(cols) * 3;
  WebPDecoderConfig config;
  if (WebPInitDecoderConfig(&config) == 0) return {DecodeOutcome::kFailed};
  config.output.colorspace = MODE_BGR;
  config.output.is_external_memory = 1;
  config.output.u.RGBA.rgba = pixels;
  config.output.u.RGBA.stride = cols * 3;
  config.output.u.RGBA.size = bytes;
  // As WebPDecodeBGRInto, but with the status, which tells a refused
  // allocation apart.
  const VP8StatusCode status = WebPDecode(file.data(), file.size(), &config);
  WebPFreeDecBuffer(&config.output);
  if (status == VP8_STATUS_OK) return {DecodeOutcome::kDecoded};
  return {status == VP8_STATUS_OUT_OF_MEMORY ? DecodeOutcome::kTooLarge : DecodeOutcome::kFailed};
}

}  // namespace tesmic
