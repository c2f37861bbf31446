// TIFF as OpenCV's TiffDecoder reads it into an 8-bit colour image: every
// layout (strips or tiles, contiguous or planar, any compression, depth,
// palette, grey, alpha, YCbCr, LogLuv) goes through libtiff's RGBA
// interface, strip by strip or tile by tile, with the same checks on the
// header and the tile size; rows are placed and turned by the orientation
// tag as OpenCV places and turns them. OpenCV silences libtiff at its log
// level, so a TIFF is never called damaged; here libtiff speaks to this
// decode only, and says nothing.
#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>

#include <tiffio.h>

#include "formats/format_decoders.h"
#include "formats/oriented_image.h"

namespace tesmic {
namespace {

// OpenCV's bounds on a strip or tile (grfmt_tiff.cpp).
constexpr std::uint32_t kMaxTileSide = 1u << 24;
constexpr std::uint64_t kMaxTileBytes = std::uint64_t{1} << 30;

// The file as libtiff's own reading of a mapped file sees it: positions
// past the end may be sought, reading there gives nothing.
struct TiffSource {
  std::span<const std::uint8_t> file;
  std::uint64_t position = 0;
  bool outOfMemory = false;
};

TiffSource& sourceOf(thandle_t handle) { return *static_cast<TiffSource*>(handle); }

tmsize_t readBytes(thandle_t handle, void* out, tmsize_t count) {
  TiffSource& source = sourceOf(handle);
  if (count <= 0 || source.position >= source.file.size()) return 0;
  const std::size_t n = std::min(static_cast<std::size_t>(count),
                                 static_cast<std::size_t>(source.file.size() - source.position));
  std::memcpy(out, source.file.data() + source.position, n);
  source.position += n;
  return static_cast<tmsize_t>(n);
}

tmsize_t writeNothing(thandle_t, void*, tmsize_t) { return 0; }

toff_t seek(thandle_t handle, toff_t offset, int whence) {
  TiffSource& source = sourceOf(handle);
  const std::int64_t base = whence == SEEK_CUR   ? static_cast<std::int64_t>(source.position)
                            : whence == SEEK_END ? static_cast<std::int64_t>(source.file.size())
                                                 : 0;
  // As lseek: the offset is signed, and no position lies below zero or
  // beyond what off_t holds.
  std::int64_t target = 0;
  if (__builtin_add_overflow(base, static_cast<std::int64_t>(offset), &target) || target < 0) {
    return static_cast<toff_t>(-1);
  }
  source.position = static_cast<std::uint64_t>(target);
  return source.position;
}

int closeNothing(thandle_t) { return 0; }

toff_t sizeOf(thandle_t handle) { return sourceOf(handle).file.size(); }

// The whole file "mapped", as TIFFOpen maps a file it reads: libtiff then
// takes strips and directories from it directly, and never writes to it.
int map(thandle_t handle, void** base, toff_t* size) {
  TiffSource& source = sourceOf(handle);
  *base = const_cast<std::uint8_t*>(source.file.data());
  *size = source.file.size();
  return 1;
}

void unmapNothing(thandle_t, void*, toff_t) {}

// Handled here, silently: a refused allocation leaves ENOMEM behind.
int onError(TIFF*, void* user, const char*, const char*, va_list) {
  if (errno == ENOMEM) static_cast<TiffSource*>(user)->outOfMemory = true;
  return 1;
}

int onWarning(TIFF*, void*, const char*, const char*, va_list) { return 1; }

struct TiffCloser {
  void operator()(TIFF* tif) const { TIFFClose(tif); }
};
struct OptionsFreer {
  void operator()(TIFFOpenOptions* options) const { TIFFOpenOptionsFree(options); }
};
struct FreeDeleter {
  void operator()(void* p) const { std::free(p); }
};
using Buffer = std::unique_ptr<std::uint8_t, FreeDeleter>;

Buffer allocate(std::size_t bytes) {
  return Buffer(static_cast<std::uint8_t*>(std::malloc(bytes)));
}

// The size and samples of the first image, read as OpenCV reads them:
// without BitsPerSample a bilevel image's 1, without SamplesPerPixel
// grey's 1 or colour's 3.
struct Header {
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  std::uint16_t photometric = 0;
  std::uint16_t bitsPerSample = 8;
  std::uint16_t channels = 3;
};

std::optional<Header> readHeader(TIFF* tif) {
  Header header;
  if (TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &header.width) == 0 ||
      TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &header.height) == 0 ||
      TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &header.photometric) == 0) {
    return std::nullopt;
  }
  if (header.photometric == PHOTOMETRIC_MINISWHITE ||
      header.photometric == PHOTOMETRIC_MINISBLACK) {
    header.channels = 1;
  }
  if (TIFFGetField(tif, TIFFTAG_BITSPERSAMPLE, &header.bitsPerSample) == 0) {
    header.bitsPerSample = 1;
  }
  TIFFGetField(tif, TIFFTAG_SAMPLESPERPIXEL, &header.channels);
  return header;
}

// Whether OpenCV's readHeader has a type for these samples.
bool typeFound(TIFF* tif, const Header& header) {
  const std::uint16_t channels = header.channels;
  if (channels == 3 && header.photometric == PHOTOMETRIC_LOGLUV) return true;
  std::uint16_t bits = header.bitsPerSample;
  if (bits > 8 && (header.photometric > 2 || (channels != 1 && channels != 3 && channels != 4))) {
    bits = 8;
  }
  std::uint16_t sampleFormat = SAMPLEFORMAT_UINT;
  TIFFGetField(tif, TIFFTAG_SAMPLEFORMAT, &sampleFormat);
  if (channels < 1 || channels > 4) return false;
  const bool integer = sampleFormat == SAMPLEFORMAT_UINT || sampleFormat == SAMPLEFORMAT_INT;
  switch (bits) {
    case 1:
    case 8:
    case 10:
    case 12:
    case 14:
    case 16:
      return integer;
    case 32:
      return sampleFormat == SAMPLEFORMAT_IEEEFP || sampleFormat == SAMPLEFORMAT_INT;
    case 64:
      return sampleFormat == SAMPLEFORMAT_IEEEFP;
    default:
      return false;
  }
}

// What OpenCV's fixOrientationPartial does after the RGBA interface (which
// has done the mirroring left to right already, and the rows were placed
// upside down where asked): transpose, and turn half round first for 6 and 8.
Orientation turnOf(std::uint16_t orientation) {
  switch (orientation) {
    case ORIENTATION_RIGHTTOP:
    case ORIENTATION_LEFTBOT:
      return {true, true, true};
    case ORIENTATION_LEFTTOP:
    case ORIENTATION_RIGHTBOT:
      return {true, false, false};
    default:
      return {};
  }
}

// libtiff's RGBA pixels (R, G, B, A in memory) to BGR.
void rgbaToBgr(const std::uint8_t* rgba, std::uint8_t* bgr, std::uint32_t count) {
  for (std::uint32_t i = 0; i < count; ++i, rgba += 4, bgr += 3) {
    bgr[0] = rgba[2];
    bgr[1] = rgba[1];
    bgr[2] = rgba[0];
  }
}

DecodeOutcome decodePixels(TIFF* tif, const Header& header, PixelSink& sink) {
  const std::uint32_t width = header.width;
  const std::uint32_t height = header.height;
  const int rows = static_cast<int>(height);
  const int cols = static_cast<int>(width);
  const bool tiled = TIFFIsTiled(tif) != 0;
  std::uint16_t orientation = ORIENTATION_TOPLEFT;
  TIFFGetField(tif, TIFFTAG_ORIENTATION, &orientation);
  const bool upsideDown = orientation == ORIENTATION_BOTRIGHT ||
                          orientation == ORIENTATION_RIGHTBOT ||
                          orientation == ORIENTATION_BOTLEFT || orientation == ORIENTATION_LEFTBOT;
  char message[1024];
  if (TIFFRGBAImageOK(tif, message) == 0) return DecodeOutcome::kFailed;

  std::uint32_t tileWidth = width;
  std::uint32_t tileHeight = 0;
  if (tiled) {
    if (TIFFGetField(tif, TIFFTAG_TILEWIDTH, &tileWidth) == 0 ||
        TIFFGetField(tif, TIFFTAG_TILELENGTH, &tileHeight) == 0) {
      return DecodeOutcome::kFailed;
    }
  } else {
    TIFFGetField(tif, TIFFTAG_ROWSPERSTRIP, &tileHeight);
  }
  if (tileWidth == 0) tileWidth = width;
  if (tileHeight == 0 || (!tiled && tileHeight == UINT32_MAX)) tileHeight = height;
  // OpenCV's checks, its casts to int included.
  if (static_cast<int>(tileWidth) <= 0 || tileWidth > kMaxTileSide ||
      static_cast<int>(tileHeight) <= 0 || tileHeight > kMaxTileSide || header.channels > 4 ||
      header.bitsPerSample > 64 ||
      std::uint64_t{tileWidth} * tileHeight * header.channels *
              static_cast<std::uint64_t>(std::max(1, header.bitsPerSample / 8)) >=
          kMaxTileBytes) {
    return DecodeOutcome::kFailed;
  }

  const Orientation turn = turnOf(orientation);
  const std::optional<OrientedImage> shown = OrientedImage::inSink(sink, rows, cols, turn);
  if (!shown) return DecodeOutcome::kTooLarge;
  const OrientedImage& image = *shown;
  const std::size_t rowBytes = std::size_t{width} * 3;
  // The image as OpenCV has it before turning: in the sink, or apart.
  Buffer placed = image.transposed() ? allocate(rowBytes * height) : nullptr;
  if (image.transposed() && !placed) return DecodeOutcome::kTooLarge;
  const auto placedRow = [&](int y) {
    return placed ? placed.get() + static_cast<std::size_t>(y) * rowBytes : image.rowInPlace(y);
  };
  // A strip read fills only the rows the image still has; a tile always
  // fills the whole tile.
  const std::uint32_t bufferRows = tiled ? tileHeight : std::min(tileHeight, height);
  Buffer rgba = allocate(std::size_t{tileWidth} * bufferRows * 4);
  if (!rgba) return DecodeOutcome::kTooLarge;

  const int stepY = static_cast<int>(tileHeight);
  const int stepX = static_cast<int>(tileWidth);
  for (int y = 0; y < rows; y += stepY) {
    const int stripRows = std::min(stepY, rows - y);
    const int firstRow = upsideDown ? rows - y - stripRows : y;
    for (int x = 0; x < cols; x += stepX) {
      const int stripCols = std::min(stepX, cols - x);
      const std::uint8_t* start = rgba.get();
      auto* raster = reinterpret_cast<std::uint32_t*>(rgba.get());
      if (!tiled) {
        if (TIFFReadRGBAStrip(tif, static_cast<std::uint32_t>(y), raster) == 0) {
          return DecodeOutcome::kFailed;
        }
      } else {
        if (TIFFReadRGBATile(tif, static_cast<std::uint32_t>(x), static_cast<std::uint32_t>(y),
                             raster) == 0) {
          return DecodeOutcome::kFailed;
        }
        // A tile fills the buffer from the bottom up.
        start += std::size_t{tileHeight - static_cast<std::uint32_t>(stripRows)} * tileWidth * 4;
      }
      // The raster's rows run bottom up.
      for (int i = 0; i < stripRows; ++i) {
        rgbaToBgr(start + std::size_t{tileWidth} * 4 * static_cast<std::size_t>(i),
                  placedRow(firstRow + stripRows - i - 1) + static_cast<std::size_t>(x) * 3,
                  static_cast<std::uint32_t>(stripCols));
      }
    }
  }
  if (placed) image.putRows(0, rows, placed.get(), rowBytes);
  return DecodeOutcome::kDecoded;
}

}  // namespace

DecodeResult decodeTiff(std::span<const std::uint8_t> file, PixelSink& sink) {
  TiffSource source{file};
  errno = 0;
  const std::unique_ptr<TIFFOpenOptions, OptionsFreer> options(TIFFOpenOptionsAlloc());
  if (!options) return {DecodeOutcome::kTooLarge};
  TIFFOpenOptionsSetErrorHandlerExtR(options.get(), onError, &source);
  TIFFOpenOptionsSetWarningHandlerExtR(options.get(), onWarning, &source);
  const std::unique_ptr<TIFF, TiffCloser> tif(
      TIFFClientOpenExt("", "r", &source, readBytes, writeNothing, seek, closeNothing, sizeOf, map,
                        unmapNothing, options.get()));
  DecodeOutcome outcome = DecodeOutcome::kFailed;
  const std::optional<Header> header = tif ? readHeader(tif.get()) : std::nullopt;
  if (header && typeFound(tif.get(), *header) && withinReadLimits(header->width, header->height)) {
    outcome = decodePixels(tif.get(), *header, sink);
  }
  if (outcome == DecodeOutcome::kFailed && source.outOfMemory) outcome = DecodeOutcome::kTooLarge;
  return {outcome};
}

}  // namespace tesmic
