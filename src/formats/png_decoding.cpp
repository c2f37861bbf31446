// PNG as OpenCV's PngDecoder reads it: the same libpng transforms to 8-bit
// BGR (16 bits stripped to their high byte, alpha and tRNS dropped, palette
// and grey expanded), png_read_image over every row, then png_read_end; the
// EXIF orientation from an eXIf chunk. libpng's warnings are judged as the
// program judges them when libpng prints them.
#include <cstdlib>
#include <cstring>

#include <png.h>

#include "formats/exif_reading.h"
#include "formats/format_decoders.h"
#include "formats/library_warnings.h"
#include "formats/oriented_image.h"

namespace tesmic {
namespace {

constexpr std::size_t kSignatureBytes = 8;
constexpr std::size_t kChunkHeadBytes = 8;  // length and name; the data and a CRC follow
constexpr std::size_t kChunkCrcBytes = 4;

// Kept across libpng's jumps back on an error; the buffers are freed by
// the caller of the guarded part.
struct PngDecoding {
  std::span<const std::uint8_t> file;
  std::size_t position = 0;
  bool outOfMemory = false;
  bool damaged = false;
  png_structp png = nullptr;
  png_infop info = nullptr;
  png_infop endInfo = nullptr;
  png_bytep* rows = nullptr;
  std::uint8_t* turned = nullptr;  // the decoded image, when it is shown transposed
};

PngDecoding& decodingOf(png_const_structrp png) {
  return *static_cast<PngDecoding*>(png_get_error_ptr(png));
}

// As libpng's reading from a file: less than asked for is an error.
void readBytes(png_structp png, png_bytep out, std::size_t count) {
  PngDecoding& decoding = *static_cast<PngDecoding*>(png_get_io_ptr(png));
  if (count > decoding.file.size() - decoding.position) png_error(png, "Read Error");
  std::memcpy(out, decoding.file.data() + decoding.position, count);
  decoding.position += count;
}

[[noreturn]] void leave(png_structp png, png_const_charp) { png_longjmp(png, 1); }

void warn(png_structp png, png_const_charp message) {
  PngDecoding& decoding = decodingOf(png);
  decoding.damaged = decoding.damaged || printedWarningIsDamage("libpng warning: ", message);
}

png_voidp allocate(png_structp png, png_alloc_size_t size) {
  png_voidp memory = std::malloc(size);
  if (memory == nullptr) static_cast<PngDecoding*>(png_get_mem_ptr(png))->outOfMemory = true;
  return memory;
}

void release(png_structp, png_voidp memory) { std::free(memory); }

std::uint32_t bigEndian32(const std::uint8_t* bytes) {
  return std::uint32_t{bytes[0]} << 24 | std::uint32_t{bytes[1]} << 16 |
         std::uint32_t{bytes[2]} << 8 | bytes[3];
}

// Whether an eXIf chunk follows the first IDAT: libpng reads it into the
// end's info, after the pixels, so its orientation would come too late to
// size the sink.
bool exifAfterPixels(std::span<const std::uint8_t> file) {
  bool pixelsSeen = false;
  std::size_t at = kSignatureBytes;
  while (file.size() - at >= kChunkHeadBytes) {
    const std::uint8_t* head = file.data() + at;
    const std::uint32_t length = bigEndian32(head);
    if (std::memcmp(head + 4, "IEND", 4) == 0) return false;
    if (std::memcmp(head + 4, "IDAT", 4) == 0) pixelsSeen = true;
    if (pixelsSeen && std::memcmp(head + 4, "eXIf", 4) == 0) return true;
    const std::size_t left = file.size() - at - kChunkHeadBytes;
    if (length > left || left - length < kChunkCrcBytes) return false;  // libpng stops here
    at += kChunkHeadBytes + length + kChunkCrcBytes;
  }
  return false;
}

// From png_read_info on: may leave by libpng's jump at any call.
DecodeOutcome decodePixels(PngDecoding& decoding, PixelSink& sink) {
  png_structp png = decoding.png;
  png_infop info = decoding.info;
  png_set_read_fn(png, &decoding, readBytes);
  png_read_info(png, info);
  png_uint_32 width = 0;
  png_uint_32 height = 0;
  int bitDepth = 0;
  int colourType = 0;
  png_get_IHDR(png, info, &width, &height, &bitDepth, &colourType, nullptr, nullptr, nullptr);
  if (!(bitDepth <= 8 || bitDepth == 16) || !withinReadLimits(width, height)) {
    return DecodeOutcome::kFailed;
  }
  Orientation orientation;
  png_uint_32 exifBytes = 0;
  png_bytep exif = nullptr;
  if (png_get_valid(png, info, PNG_INFO_eXIf) != 0) {
    png_get_eXIf_1(png, info, &exifBytes, &exif);
    if (exif != nullptr && exifBytes > 0) {
      orientation = exifOrientation(exifOrientationTag({exif, exifBytes}).value_or(1));
    }
  } else if (exifAfterPixels(decoding.file)) {
    return DecodeOutcome::kNotMine;
  }

  const int rows = static_cast<int>(height);
  const std::optional<OrientedImage> shown =
      OrientedImage::inSink(sink, rows, static_cast<int>(width), orientation);
  if (!shown) return DecodeOutcome::kTooLarge;
  const OrientedImage& image = *shown;
  const std::size_t rowBytes = std::size_t{width} * 3;
  if (image.transposed()) {
    decoding.turned = static_cast<std::uint8_t*>(std::malloc(rowBytes * height));
    if (decoding.turned == nullptr) return DecodeOutcome::kTooLarge;
  }
  decoding.rows = static_cast<png_bytep*>(std::malloc(sizeof(png_bytep) * height));
  if (decoding.rows == nullptr) return DecodeOutcome::kTooLarge;

  if (bitDepth == 16) {
    png_set_strip_16(png);
  } else {
    png_set_swap(png);
  }
  png_set_strip_alpha(png);
  if (colourType == PNG_COLOR_TYPE_PALETTE) png_set_palette_to_rgb(png);
  if ((colourType & PNG_COLOR_MASK_COLOR) == 0 && bitDepth < 8) {
    png_set_expand_gray_1_2_4_to_8(png);
  }
  if ((colourType & PNG_COLOR_MASK_COLOR) != 0) {
    png_set_bgr(png);
  } else {
    png_set_gray_to_rgb(png);
  }
  png_set_interlace_handling(png);
  png_read_update_info(png, info);
  // These transforms always give three bytes a pixel; were it otherwise,
  // libpng would write past the rows.
  if (png_get_rowbytes(png, info) != rowBytes) return DecodeOutcome::kNotMine;
  for (int y = 0; y < rows; ++y) {
    decoding.rows[y] = image.transposed() ? decoding.turned + static_cast<std::size_t>(y) * rowBytes
                                          : image.rowInPlace(y);
  }
  png_read_image(png, decoding.rows);
  png_read_end(png, decoding.endInfo);
  if (image.transposed()) {
    image.putRows(0, rows, decoding.turned, rowBytes);
  } else {
    for (int y = 0; y < rows; ++y) image.finishRowInPlace(y);
  }
  return DecodeOutcome::kDecoded;
}

DecodeOutcome decodeGuarded(PngDecoding& decoding, PixelSink& sink) {
  if (setjmp(png_jmpbuf(decoding.png)) != 0) {
    return decoding.outOfMemory ? DecodeOutcome::kTooLarge : DecodeOutcome::kFailed;
  }
  return decodePixels(decoding, sink);
}

}  // namespace

DecodeResult decodePng(std::span<const std::uint8_t> file, PixelSink& sink) {
  PngDecoding decoding;
  decoding.file = file;
  decoding.png = png_create_read_struct_2(PNG_LIBPNG_VER_STRING, &decoding, leave, warn, &decoding,
                                          allocate, release);
  if (decoding.png == nullptr) return {DecodeOutcome::kTooLarge};
  decoding.info = png_create_info_struct(decoding.png);
  decoding.endInfo = png_create_info_struct(decoding.png);
  DecodeOutcome outcome = DecodeOutcome::kTooLarge;
  if (decoding.info != nullptr && decoding.endInfo != nullptr) {
    outcome = decodeGuarded(decoding, sink);
  }
  png_destroy_read_struct(&decoding.png, &decoding.info, &decoding.endInfo);
  std::free(decoding.rows);
  std::free(decoding.turned);
  return {outcome, outcome == DecodeOutcome::kDecoded && decoding.damaged};
}

}  // namespace tesmic
