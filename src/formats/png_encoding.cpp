// PNG written as OpenCV's PngEncoder writes it without parameters: the Sub
// filter, zlib's fastest level and its run-length strategy, tuned there
// for speed; so the bytes are those cv::imencode(".png") gives.
#include <unistd.h>

#include <cerrno>
#include <csetjmp>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

#include <png.h>
#include <zlib.h>

#include "formats/image_decoding.h"

namespace tesmic {
namespace {

// libpng hands over a chunk in pieces of a few bytes; they are gathered.
constexpr std::size_t kOutputBuffer = 64 * 1024;

struct FreeDeleter {
  void operator()(void* p) const { std::free(p); }
};

struct PngEncoding {
  int fd = -1;
  int error = 0;  // errno of the failed write, or ENOMEM
  std::size_t buffered = 0;
  unsigned char buffer[kOutputBuffer];
  png_bytep* rows = nullptr;
};

PngEncoding& encodingOf(png_structp png) { return *static_cast<PngEncoding*>(png_get_io_ptr(png)); }

bool writeAll(PngEncoding& encoding, const unsigned char* bytes, std::size_t count) {
  while (count > 0) {
    const ssize_t n = write(encoding.fd, bytes, count);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      encoding.error = n < 0 ? errno : EIO;
      return false;
    }
    bytes += n;
    count -= static_cast<std::size_t>(n);
  }
  return true;
}

bool flushBuffer(PngEncoding& encoding) {
  const bool written = writeAll(encoding, encoding.buffer, encoding.buffered);
  encoding.buffered = 0;
  return written;
}

void writeBytes(png_structp png, png_bytep bytes, std::size_t count) {
  PngEncoding& encoding = encodingOf(png);
  if (encoding.buffered + count > kOutputBuffer && !flushBuffer(encoding)) png_error(png, "write");
  if (count > kOutputBuffer) {
    if (!writeAll(encoding, bytes, count)) png_error(png, "write");
    return;
  }
  std::memcpy(encoding.buffer + encoding.buffered, bytes, count);
  encoding.buffered += count;
}

void flushNothing(png_structp) {}

[[noreturn]] void leave(png_structp png, png_const_charp) { png_longjmp(png, 1); }

void ignoreWarning(png_structp, png_const_charp) {}

png_voidp allocate(png_structp png, png_alloc_size_t size) {
  png_voidp memory = std::malloc(size);
  if (memory == nullptr) static_cast<PngEncoding*>(png_get_mem_ptr(png))->error = ENOMEM;
  return memory;
}

void release(png_structp, png_voidp memory) { std::free(memory); }

// May leave by libpng's jump at any call.
bool encodeGuarded(png_structp png, png_infop info, PngEncoding& encoding,
                   const std::uint8_t* pixels, int rows, int cols, int channels,
                   std::size_t rowStep) {
  if (setjmp(png_jmpbuf(png)) != 0) return false;
  png_set_write_fn(png, &encoding, writeBytes, flushNothing);
  png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_SUB);
  png_set_compression_level(png, Z_BEST_SPEED);
  png_set_compression_strategy(png, Z_RLE);
  png_set_IHDR(png, info, static_cast<png_uint_32>(cols), static_cast<png_uint_32>(rows), 8,
               channels == 1 ? PNG_COLOR_TYPE_GRAY : PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  png_set_bgr(png);
  png_set_swap(png);
  for (int y = 0; y < rows; ++y) {
    encoding.rows[y] = const_cast<png_bytep>(pixels + static_cast<std::size_t>(y) * rowStep);
  }
  png_write_image(png, encoding.rows);
  png_write_end(png, info);
  return flushBuffer(encoding);
}

}  // namespace

int encodePng(const std::uint8_t* pixels, int rows, int cols, int channels, std::size_t rowStep,
              int fd) {
  if (pixels == nullptr || rows <= 0 || cols <= 0 || (channels != 1 && channels != 3) ||
      rowStep < static_cast<std::size_t>(cols) * static_cast<std::size_t>(channels)) {
    return EINVAL;
  }
  const std::unique_ptr<PngEncoding> encoding(new (std::nothrow) PngEncoding);
  if (!encoding) return ENOMEM;
  encoding->fd = fd;
  const std::unique_ptr<png_bytep[], FreeDeleter> rowPointers(
      static_cast<png_bytep*>(std::malloc(sizeof(png_bytep) * static_cast<std::size_t>(rows))));
  if (!rowPointers) return ENOMEM;
  encoding->rows = rowPointers.get();
  png_structp png = png_create_write_struct_2(PNG_LIBPNG_VER_STRING, nullptr, leave, ignoreWarning,
                                              encoding.get(), allocate, release);
  png_infop info = png != nullptr ? png_create_info_struct(png) : nullptr;
  const bool written =
      info != nullptr && encodeGuarded(png, info, *encoding, pixels, rows, cols, channels, rowStep);
  png_destroy_write_struct(&png, &info);
  if (written) return 0;
  if (encoding->error != 0) return encoding->error;
  // Not made for want of memory, or refused by libpng (wider than it writes).
  return info == nullptr ? ENOMEM : EINVAL;
}

}  // namespace tesmic
