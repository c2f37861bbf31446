#include "support/image_corpus.h"

#include <algorithm>
#include <cstdio>  // before jpeglib.h
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string_view>
#include <utility>

#include <jpeglib.h>
#include <png.h>
#include <tiffio.h>
#include <webp/encode.h>
#include <zlib.h>

#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>

#include "support/awkward_images.h"

namespace tesmic::test {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

// Odd sizes, so that no block, strip or tile comes out even; more rows
// than the JPEG decoder reads at once.
constexpr int kWidth = 37;
constexpr int kHeight = 23;

// Channel c at (x, y): gradients and a texture, so that every conversion
// and every block shows in the bytes.
std::uint8_t sample(int x, int y, int c) {
  return static_cast<std::uint8_t>(x * 29 + y * 47 + c * 71 + (x ^ y) * 13 + (x * y % 11) * 9);
}

Bytes bytesOf(const std::string& text) { return {text.begin(), text.end()}; }

CorpusFile leftToOpenCv(std::string name, Bytes bytes, bool loads = true) {
  return {std::move(name), std::move(bytes), false, loads};
}

// --- JPEG through libjpeg's writer ---------------------------------------

struct JpegRecipe {
  int components = 3;                // given to the writer: 1 grey, 3 RGB, 4 CMYK, else unknown
  J_COLOR_SPACE stored = JCS_YCbCr;  // as the file holds them
  int hSampling = 2;                 // of the first component, when YCbCr
  int vSampling = 2;
  bool progressive = false;
  bool arithmetic = false;
  int restartRows = 0;
  bool adobeMarker = true;  // libjpeg writes one for RGB, CMYK and YCCK
  std::uint8_t jfifMajor = 1;
  std::vector<Bytes> app1{};
};

Bytes writeJpeg(const JpegRecipe& recipe) {
  jpeg_compress_struct cinfo{};
  jpeg_error_mgr errors{};
  cinfo.err = jpeg_std_error(&errors);
  jpeg_create_compress(&cinfo);
  unsigned char* out = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&cinfo, &out, &size);
  cinfo.image_width = kWidth;
  cinfo.image_height = kHeight;
  cinfo.input_components = recipe.components;
  cinfo.in_color_space = recipe.components == 1   ? JCS_GRAYSCALE
                         : recipe.components == 3 ? JCS_RGB
                         : recipe.components == 4 ? JCS_CMYK
                                                  : JCS_UNKNOWN;
  jpeg_set_defaults(&cinfo);
  jpeg_set_colorspace(&cinfo, recipe.stored);
  if (recipe.stored == JCS_YCbCr) {
    cinfo.comp_info[0].h_samp_factor = recipe.hSampling;
    cinfo.comp_info[0].v_samp_factor = recipe.vSampling;
  }
  if (recipe.progressive) jpeg_simple_progression(&cinfo);
  cinfo.arith_code = recipe.arithmetic ? TRUE : FALSE;
  cinfo.restart_in_rows = recipe.restartRows;
  cinfo.write_Adobe_marker = recipe.adobeMarker && cinfo.write_Adobe_marker ? TRUE : FALSE;
  cinfo.JFIF_major_version = recipe.jfifMajor;
  jpeg_start_compress(&cinfo, TRUE);
  for (const Bytes& marker : recipe.app1) {
    jpeg_write_marker(&cinfo, JPEG_APP0 + 1, marker.data(), static_cast<unsigned>(marker.size()));
  }
  std::vector<JSAMPLE> row(static_cast<std::size_t>(kWidth * recipe.components));
  while (cinfo.next_scanline < cinfo.image_height) {
    const int y = static_cast<int>(cinfo.next_scanline);
    for (int x = 0; x < kWidth; ++x) {
      for (int c = 0; c < recipe.components; ++c) row[x * recipe.components + c] = sample(x, y, c);
    }
    JSAMPROW pointer = row.data();
    jpeg_write_scanlines(&cinfo, &pointer, 1);
  }
  jpeg_finish_compress(&cinfo);
  Bytes bytes(out, out + size);
  jpeg_destroy_compress(&cinfo);
  std::free(out);
  return bytes;
}

// --- EXIF ------------------------------------------------------------------

struct ExifEntry {
  std::uint16_t tag;
  std::uint16_t type;  // 2 ASCII, 3 SHORT, 5 RATIONAL
  std::uint32_t count;
  std::uint32_t value;  // a SHORT in the field's first two bytes, else the offset
};

constexpr std::uint16_t kOrientationTag = 0x0112;

ExifEntry orientation(std::uint16_t value) { return {kOrientationTag, 3, 1, value}; }

// A TIFF header and one directory: what a PNG's eXIf chunk holds, and a
// JPEG's APP1 after "Exif\0\0". declared: the entry count it claims.
Bytes exifData(const std::vector<ExifEntry>& entries, bool intel = true, int declared = -1) {
  Bytes out;
  const auto put = [&out, intel](std::uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) {
      const int shift = 8 * (intel ? i : bytes - 1 - i);
      out.push_back(static_cast<std::uint8_t>(v >> shift));
    }
  };
  out.push_back(intel ? 'I' : 'M');
  out.push_back(intel ? 'I' : 'M');
  put(42, 2);
  put(8, 4);
  put(static_cast<std::uint32_t>(declared < 0 ? static_cast<int>(entries.size()) : declared), 2);
  for (const ExifEntry& e : entries) {
    put(e.tag, 2);
    put(e.type, 2);
    put(e.count, 4);
    if (e.type == 3) {
      put(e.value, 2);
      put(0, 2);
    } else {
      put(e.value, 4);
    }
  }
  put(0, 4);
  return out;
}

Bytes app1Exif(const Bytes& exif) {
  constexpr std::size_t kHeader = 6;
  Bytes marker(kHeader + exif.size(), 0);
  std::copy_n("Exif", 4, marker.begin());
  std::copy(exif.begin(), exif.end(), marker.begin() + kHeader);
  return marker;
}

// A baseline JPEG with its frame header again after the scan: libjpeg
// fails once every row is out, as it finishes; OpenCV keeps the image.
Bytes withSecondFrame(Bytes jpeg) {
  for (std::size_t i = 2; i + 4 < jpeg.size(); ++i) {
    if (jpeg[i] != 0xFF || jpeg[i + 1] != 0xC0) continue;
    const std::size_t length = 2 + (std::size_t{jpeg[i + 2]} << 8 | jpeg[i + 3]);
    const Bytes frame(jpeg.begin() + static_cast<std::ptrdiff_t>(i),
                      jpeg.begin() + static_cast<std::ptrdiff_t>(i + length));
    jpeg.insert(jpeg.end() - 2, frame.begin(), frame.end());
    break;
  }
  return jpeg;
}

std::vector<CorpusFile> jpegs() {
  std::vector<CorpusFile> files;
  const auto add = [&files](std::string name, const JpegRecipe& recipe) {
    files.push_back({name + ".jpg", writeJpeg(recipe)});
  };
  add("jpeg-420", {});
  add("jpeg-422", {.hSampling = 2, .vSampling = 1});
  add("jpeg-444", {.hSampling = 1, .vSampling = 1});
  add("jpeg-grey", {.components = 1, .stored = JCS_GRAYSCALE});
  add("jpeg-rgb", {.stored = JCS_RGB});
  add("jpeg-progressive", {.progressive = true});
  add("jpeg-progressive-grey", {.components = 1, .stored = JCS_GRAYSCALE, .progressive = true});
  add("jpeg-arithmetic", {.arithmetic = true});
  add("jpeg-restarts", {.restartRows = 1});
  add("jpeg-cmyk-adobe", {.components = 4, .stored = JCS_CMYK});
  add("jpeg-cmyk-plain", {.components = 4, .stored = JCS_CMYK, .adobeMarker = false});
  add("jpeg-ycck", {.components = 4, .stored = JCS_YCCK});
  add("jpeg-ycck-progressive", {.components = 4, .stored = JCS_YCCK, .progressive = true});
  // Two components: no colour space libjpeg converts from, refused.
  files.push_back({"jpeg-two-components.jpg", writeJpeg({.components = 2, .stored = JCS_UNKNOWN}),
                   true, false});
  // libjpeg warns of the version, which is no damage; in its damaged copies
  // that warning comes first, and libjpeg prints only the first.
  add("jpeg-jfif-2", {.jfifMajor = 2});
  for (std::uint16_t value = 1; value <= 8; ++value) {
    add("jpeg-exif-" + std::to_string(value), {.app1 = {app1Exif(exifData({orientation(value)}))}});
  }
  add("jpeg-exif-progressive-6",
      {.progressive = true, .app1 = {app1Exif(exifData({orientation(6)}))}});
  add("jpeg-exif-cmyk-8",
      {.components = 4, .stored = JCS_CMYK, .app1 = {app1Exif(exifData({orientation(8)}))}});
  add("jpeg-exif-motorola-6", {.app1 = {app1Exif(exifData({orientation(6)}, false))}});
  // Malformed EXIF, read as far as OpenCV reads it.
  const ExifEntry makeBeyond{0x010F, 2, 20, 0x7FFF0000};
  const ExifEntry resolutionBeyond{0x011A, 5, 1, 0x7FFF0000};
  const ExifEntry shortMake{0x010F, 2, 3, 0};
  add("jpeg-exif-bad-make-then-6", {.app1 = {app1Exif(exifData({makeBeyond, orientation(6)}))}});
  add("jpeg-exif-6-then-bad-make", {.app1 = {app1Exif(exifData({orientation(6), makeBeyond}))}});
  add("jpeg-exif-bad-resolution-then-5",
      {.app1 = {app1Exif(exifData({resolutionBeyond, orientation(5)}))}});
  add("jpeg-exif-short-make-then-7", {.app1 = {app1Exif(exifData({shortMake, orientation(7)}))}});
  add("jpeg-exif-count-beyond-8", {.app1 = {app1Exif(exifData({orientation(8)}, true, 9))}});
  add("jpeg-exif-3-then-6", {.app1 = {app1Exif(exifData({orientation(3), orientation(6)}))}});
  add("jpeg-exif-value-9", {.app1 = {app1Exif(exifData({orientation(9)}))}});
  Bytes cutInEntry = app1Exif(exifData({orientation(6)}));
  cutInEntry.resize(6 + 8 + 2 + 9);
  add("jpeg-exif-cut-in-entry", {.app1 = {cutInEntry}});
  Bytes notTiff = app1Exif(exifData({orientation(6)}));
  notTiff[6 + 2] = 43;
  add("jpeg-exif-not-tiff", {.app1 = {notTiff}});
  const std::string xmp = std::string("http://ns.adobe.com/xap/1.0/\0<x:xmpmeta/>", 41);
  add("jpeg-xmp-then-exif-6", {.app1 = {bytesOf(xmp), app1Exif(exifData({orientation(6)}))}});
  add("jpeg-tiny-app1-then-exif-6",
      {.app1 = {bytesOf(std::string("Exif\0", 5)), app1Exif(exifData({orientation(6)}))}});
  files.push_back({"jpeg-second-frame-after-scan.jpg", withSecondFrame(writeJpeg({}))});
  return files;
}

// --- PNG through libpng's writer -------------------------------------------

struct PngRecipe {
  int colourType = PNG_COLOR_TYPE_RGB;
  int bitDepth = 8;
  bool interlaced = false;
  bool transparency = false;  // tRNS: palette alphas, or one transparent grey or colour
  Bytes exif{};               // an eXIf chunk, when not empty
  bool exifAfterPixels = false;
};

void appendToBytes(png_structp png, png_bytep data, std::size_t size) {
  auto* out = static_cast<Bytes*>(png_get_io_ptr(png));
  out->insert(out->end(), data, data + size);
}

// Puts a chunk right after IHDR, or right before IEND.
void withChunk(Bytes& png, const char* name, const Bytes& data, bool afterPixels = false) {
  constexpr std::size_t kAfterHeader = 8 + 25;  // the signature and IHDR
  constexpr std::size_t kEnd = 12;              // IEND
  Bytes chunk;
  const auto put32 = [&chunk](std::uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8)
      chunk.push_back(static_cast<std::uint8_t>(v >> shift));
  };
  put32(static_cast<std::uint32_t>(data.size()));
  chunk.insert(chunk.end(), name, name + 4);
  chunk.insert(chunk.end(), data.begin(), data.end());
  put32(
      static_cast<std::uint32_t>(crc32(0, chunk.data() + 4, static_cast<uInt>(chunk.size() - 4))));
  const std::size_t at = afterPixels ? png.size() - kEnd : kAfterHeader;
  png.insert(png.begin() + static_cast<std::ptrdiff_t>(at), chunk.begin(), chunk.end());
}

Bytes writePng(const PngRecipe& recipe) {
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  Bytes out;
  png_set_write_fn(png, &out, appendToBytes, nullptr);
  png_set_IHDR(png, info, kWidth, kHeight, recipe.bitDepth, recipe.colourType,
               recipe.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  const int levels = 1 << std::min(recipe.bitDepth, 8);
  if (recipe.colourType == PNG_COLOR_TYPE_PALETTE) {
    std::vector<png_color> palette(static_cast<std::size_t>(levels));
    std::vector<png_byte> alphas(palette.size());
    for (int i = 0; i < levels; ++i) {
      palette[i] = {sample(i, 0, 0), sample(i, 1, 1), sample(i, 2, 2)};
      alphas[i] = static_cast<png_byte>(i * 37);
    }
    png_set_PLTE(png, info, palette.data(), levels);
    if (recipe.transparency) png_set_tRNS(png, info, alphas.data(), levels, nullptr);
  } else if (recipe.transparency) {
    png_color_16 colour{};
    colour.gray = colour.red = static_cast<png_uint_16>(levels / 3);
    colour.green = colour.blue = static_cast<png_uint_16>(levels / 5);
    png_set_tRNS(png, info, nullptr, 0, &colour);
  }
  png_write_info(png, info);
  if (recipe.interlaced) png_set_interlace_handling(png);

  const int channels = png_get_channels(png, info);
  const int bits = recipe.bitDepth;
  std::vector<Bytes> rows(kHeight, Bytes(png_get_rowbytes(png, info), 0));
  for (int y = 0; y < kHeight; ++y) {
    for (int x = 0; x < kWidth; ++x) {
      for (int c = 0; c < channels; ++c) {
        const int i = x * channels + c;
        const std::uint8_t v = sample(x, y, c);
        if (bits == 16) {
          rows[y][2 * i] = v;
          rows[y][2 * i + 1] = static_cast<std::uint8_t>(v ^ (x * 7));
        } else {
          const int value =
              recipe.colourType == PNG_COLOR_TYPE_PALETTE ? v % levels : v >> (8 - bits);
          rows[y][i * bits / 8] |= static_cast<std::uint8_t>(value << (8 - bits - i * bits % 8));
        }
      }
    }
  }
  std::vector<png_bytep> pointers;
  for (Bytes& row : rows) pointers.push_back(row.data());
  png_write_image(png, pointers.data());
  png_write_end(png, info);
  png_destroy_write_struct(&png, &info);
  // The eXIf chunk by hand: libpng's writer puts one both before and after
  // the pixels.
  if (!recipe.exif.empty()) withChunk(out, "eXIf", recipe.exif, recipe.exifAfterPixels);
  return out;
}

std::vector<CorpusFile> pngs() {
  std::vector<CorpusFile> files;
  const auto add = [&files](std::string name, const PngRecipe& recipe) {
    files.push_back({name + ".png", writePng(recipe)});
  };
  for (const int bits : {1, 2, 4, 8, 16}) {
    add("png-grey-" + std::to_string(bits), {.colourType = PNG_COLOR_TYPE_GRAY, .bitDepth = bits});
    if (bits <= 8) {
      add("png-palette-" + std::to_string(bits),
          {.colourType = PNG_COLOR_TYPE_PALETTE, .bitDepth = bits});
    }
  }
  add("png-palette-trns", {.colourType = PNG_COLOR_TYPE_PALETTE, .transparency = true});
  add("png-palette-2-trns",
      {.colourType = PNG_COLOR_TYPE_PALETTE, .bitDepth = 2, .transparency = true});
  add("png-grey-trns", {.colourType = PNG_COLOR_TYPE_GRAY, .transparency = true});
  add("png-grey-16-trns",
      {.colourType = PNG_COLOR_TYPE_GRAY, .bitDepth = 16, .transparency = true});
  add("png-grey-alpha", {.colourType = PNG_COLOR_TYPE_GRAY_ALPHA});
  add("png-grey-alpha-16", {.colourType = PNG_COLOR_TYPE_GRAY_ALPHA, .bitDepth = 16});
  add("png-rgb", {});
  add("png-rgb-16", {.bitDepth = 16});
  add("png-rgb-trns", {.transparency = true});
  add("png-rgba", {.colourType = PNG_COLOR_TYPE_RGB_ALPHA});
  add("png-rgba-16", {.colourType = PNG_COLOR_TYPE_RGB_ALPHA, .bitDepth = 16});
  add("png-adam7", {.interlaced = true});
  add("png-adam7-rgba-16",
      {.colourType = PNG_COLOR_TYPE_RGB_ALPHA, .bitDepth = 16, .interlaced = true});
  add("png-adam7-palette-4",
      {.colourType = PNG_COLOR_TYPE_PALETTE, .bitDepth = 4, .interlaced = true});
  add("png-adam7-exif-6", {.interlaced = true, .exif = exifData({orientation(6)})});
  add("png-exif-3", {.exif = exifData({orientation(3)})});
  add("png-exif-8", {.exif = exifData({orientation(8)})});
  add("png-exif-bad-make-then-6",
      {.exif = exifData({{0x010F, 2, 20, 0x7FFF0000}, orientation(6)})});
  // Byte order "XX": libpng keeps it, OpenCV reads it as Motorola's.
  Bytes oddOrder = exifData({orientation(5)}, false);
  oddOrder[0] = oddOrder[1] = 'X';
  add("png-exif-odd-order-5", {.exif = oddOrder});
  files.push_back({"png-exif-after-pixels-6.png",
                   writePng({.exif = exifData({orientation(6)}), .exifAfterPixels = true}), false});
  files.push_back(
      {"png-palette-awkward.png", bytesOf(palettePngWithTransparency(kWidth, kHeight))});
  // A colour profile libpng rejects (no ICC signature) under a name with a
  // newline: the second line of its warning is no longer about a chunk,
  // and counts as damage.
  Bytes profile = bytesOf(std::string("junk\nprofile\0\0", 14));
  Bytes header(200, 0);
  header[3] = 200;  // the profile's length, as it says first
  uLongf packedSize = compressBound(header.size());
  Bytes packed(packedSize);
  // Stored, not deflated: libpng reads no profile from a chunk under 92 bytes.
  compress2(packed.data(), &packedSize, header.data(), header.size(), Z_NO_COMPRESSION);
  profile.insert(profile.end(), packed.begin(),
                 packed.begin() + static_cast<std::ptrdiff_t>(packedSize));
  Bytes namedProfile = writePng({});
  withChunk(namedProfile, "iCCP", profile);
  files.push_back({"png-profile-name-with-newline.png", namedProfile});
  // Metadata libpng warns about: no damage.
  for (auto& [name, bytes] : pngsWithBadMetadata())
    files.push_back({"png-" + name, bytesOf(bytes)});
  return files;
}

// --- TIFF through libtiff's writer -----------------------------------------

struct TiffRecipe {
  std::uint16_t samples = 3;
  std::uint16_t bits = 8;
  std::uint16_t photometric = PHOTOMETRIC_RGB;
  std::uint16_t planar = PLANARCONFIG_CONTIG;
  std::uint16_t compression = COMPRESSION_NONE;
  std::uint16_t predictor = 0;
  std::uint16_t orientation = 0;  // none: the tag left out
  std::uint16_t extraSample = 0;  // the last sample's meaning, when it is alpha
  std::uint16_t sampleFormat = SAMPLEFORMAT_UINT;
  std::uint32_t tile = 0;  // side of square tiles; none: strips
  std::uint32_t rowsPerStrip = 5;
  int pages = 1;
  const char* mode = "w";  // libtiff's: "wb" big-endian, "w8" BigTIFF
};

// Sample s of (x, y) at the recipe's depth, written at the start of out.
void putSample(const TiffRecipe& recipe, int x, int y, int s, std::uint8_t* row,
               std::size_t index) {
  const std::uint8_t v = sample(x, y, s);
  switch (recipe.bits) {
    case 1:
      row[index / 8] |= static_cast<std::uint8_t>((v >> 7) << (7 - index % 8));
      break;
    case 4:
      row[index / 2] |= static_cast<std::uint8_t>((v >> 4) << (index % 2 == 0 ? 4 : 0));
      break;
    case 16: {
      const std::uint16_t wide = static_cast<std::uint16_t>(v * 257 ^ (x * 7));
      std::memcpy(row + 2 * index, &wide, 2);
      break;
    }
    case 32: {
      const float real = static_cast<float>(v) / 255.0f;
      std::memcpy(row + 4 * index, &real, 4);
      break;
    }
    default:
      row[index] = v;
  }
}

Bytes writeTiff(const TiffRecipe& recipe, const fs::path& scratch) {
  const fs::path path = scratch / "written.tif";
  TIFF* tif = TIFFOpen(path.c_str(), recipe.mode);
  for (int page = 0; page < recipe.pages; ++page) {
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, kWidth);
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, kHeight);
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, recipe.samples);
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, recipe.bits);
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, recipe.photometric);
    TIFFSetField(tif, TIFFTAG_PLANARCONFIG, recipe.planar);
    TIFFSetField(tif, TIFFTAG_COMPRESSION, recipe.compression);
    TIFFSetField(tif, TIFFTAG_SAMPLEFORMAT, recipe.sampleFormat);
    if (recipe.predictor != 0) TIFFSetField(tif, TIFFTAG_PREDICTOR, recipe.predictor);
    if (recipe.orientation != 0) TIFFSetField(tif, TIFFTAG_ORIENTATION, recipe.orientation);
    if (recipe.extraSample != 0) TIFFSetField(tif, TIFFTAG_EXTRASAMPLES, 1, &recipe.extraSample);
    if (recipe.photometric == PHOTOMETRIC_SEPARATED) TIFFSetField(tif, TIFFTAG_INKSET, INKSET_CMYK);
    std::vector<std::uint16_t> colours;
    if (recipe.photometric == PHOTOMETRIC_PALETTE) {
      const std::size_t levels = std::size_t{1} << recipe.bits;
      colours.resize(3 * levels);
      for (std::size_t i = 0; i < colours.size(); ++i) {
        colours[i] = static_cast<std::uint16_t>(sample(static_cast<int>(i % levels), 3, 0) * 257);
      }
      TIFFSetField(tif, TIFFTAG_COLORMAP, colours.data(), colours.data() + levels,
                   colours.data() + 2 * levels);
    }
    if (recipe.compression == COMPRESSION_SGILOG) {
      TIFFSetField(tif, TIFFTAG_SGILOGDATAFMT, SGILOGDATAFMT_FLOAT);
    }
    if (recipe.compression == COMPRESSION_JPEG) {
      TIFFSetField(tif, TIFFTAG_JPEGQUALITY, 90);
      if (recipe.photometric == PHOTOMETRIC_YCBCR) {
        TIFFSetField(tif, TIFFTAG_JPEGCOLORMODE, JPEGCOLORMODE_RGB);
      }
    }
    if (recipe.tile != 0) {
      TIFFSetField(tif, TIFFTAG_TILEWIDTH, recipe.tile);
      TIFFSetField(tif, TIFFTAG_TILELENGTH, recipe.tile);
    } else {
      TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, recipe.rowsPerStrip);
    }
    const bool separate = recipe.planar == PLANARCONFIG_SEPARATE;
    const int planes = separate ? recipe.samples : 1;
    const int perPixel = separate ? 1 : recipe.samples;
    const int blockWidth = recipe.tile != 0 ? static_cast<int>(recipe.tile) : kWidth;
    const int blockHeight = recipe.tile != 0 ? static_cast<int>(recipe.tile) : 1;
    const std::size_t bytes = recipe.tile != 0 ? static_cast<std::size_t>(TIFFTileSize(tif))
                                               : static_cast<std::size_t>(TIFFScanlineSize(tif));
    const std::size_t rowBytes = bytes / static_cast<std::size_t>(blockHeight);
    Bytes block(bytes);
    for (int plane = 0; plane < planes; ++plane) {
      for (int top = 0; top < kHeight; top += blockHeight) {
        for (int left = 0; left < kWidth; left += blockWidth) {
          std::fill(block.begin(), block.end(), 0);
          for (int y = top; y < std::min(top + blockHeight, kHeight); ++y) {
            for (int x = left; x < std::min(left + blockWidth, kWidth); ++x) {
              for (int s = 0; s < perPixel; ++s) {
                putSample(recipe, x, y, plane + s, block.data() + (y - top) * rowBytes,
                          static_cast<std::size_t>((x - left) * perPixel + s));
              }
            }
          }
          const auto p = static_cast<std::uint16_t>(plane);
          if (recipe.tile != 0) {
            TIFFWriteTile(tif, block.data(), static_cast<std::uint32_t>(left),
                          static_cast<std::uint32_t>(top), 0, p);
          } else {
            TIFFWriteScanline(tif, block.data(), static_cast<std::uint32_t>(top), p);
          }
        }
      }
    }
    if (page + 1 < recipe.pages) TIFFWriteDirectory(tif);
  }
  TIFFClose(tif);
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

std::vector<CorpusFile> tiffs(const fs::path& scratch) {
  std::vector<CorpusFile> files;
  const auto add = [&](std::string name, const TiffRecipe& recipe, bool loads = true) {
    files.push_back({name + ".tif", writeTiff(recipe, scratch), true, loads});
  };
  add("tiff-rgb", {});
  add("tiff-rgb-one-strip", {.rowsPerStrip = 1000});
  add("tiff-planar", {.planar = PLANARCONFIG_SEPARATE});
  add("tiff-tiles", {.tile = 16});
  add("tiff-planar-tiles-lzw",
      {.planar = PLANARCONFIG_SEPARATE, .compression = COMPRESSION_LZW, .tile = 16});
  add("tiff-lzw-predictor", {.compression = COMPRESSION_LZW, .predictor = PREDICTOR_HORIZONTAL});
  add("tiff-deflate", {.compression = COMPRESSION_ADOBE_DEFLATE});
  add("tiff-packbits", {.compression = COMPRESSION_PACKBITS});
  add("tiff-jpeg", {.compression = COMPRESSION_JPEG, .rowsPerStrip = 16});
  add("tiff-jpeg-ycbcr",
      {.photometric = PHOTOMETRIC_YCBCR, .compression = COMPRESSION_JPEG, .rowsPerStrip = 16});
  add("tiff-jpeg-tiles", {.compression = COMPRESSION_JPEG, .tile = 16});
  add("tiff-rgb-16", {.bits = 16});
  add("tiff-rgb-16-tiles-deflate",
      {.bits = 16, .compression = COMPRESSION_ADOBE_DEFLATE, .tile = 16});
  add("tiff-grey", {.samples = 1, .photometric = PHOTOMETRIC_MINISBLACK});
  add("tiff-grey-16", {.samples = 1, .bits = 16, .photometric = PHOTOMETRIC_MINISBLACK});
  add("tiff-white-is-zero", {.samples = 1, .photometric = PHOTOMETRIC_MINISWHITE});
  add("tiff-bilevel", {.samples = 1, .bits = 1, .photometric = PHOTOMETRIC_MINISBLACK});
  add("tiff-palette", {.samples = 1, .photometric = PHOTOMETRIC_PALETTE});
  // OpenCV takes no 4-bit samples: refused.
  add("tiff-palette-4", {.samples = 1, .bits = 4, .photometric = PHOTOMETRIC_PALETTE}, false);
  add("tiff-rgba", {.samples = 4, .extraSample = EXTRASAMPLE_UNASSALPHA});
  add("tiff-rgba-premultiplied", {.samples = 4, .extraSample = EXTRASAMPLE_ASSOCALPHA});
  add("tiff-rgba-16-planar", {.samples = 4,
                              .bits = 16,
                              .planar = PLANARCONFIG_SEPARATE,
                              .extraSample = EXTRASAMPLE_UNASSALPHA});
  add("tiff-grey-alpha",
      {.samples = 2, .photometric = PHOTOMETRIC_MINISBLACK, .extraSample = EXTRASAMPLE_ASSOCALPHA});
  add("tiff-cmyk", {.samples = 4, .photometric = PHOTOMETRIC_SEPARATED});
  add("tiff-two-pages", {.pages = 2});
  add("tiff-motorola-16", {.bits = 16, .mode = "wb"});
  add("tiff-big", {.compression = COMPRESSION_LZW, .tile = 16, .mode = "w8"});
  for (std::uint16_t value = 1; value <= 8; ++value) {
    add("tiff-orientation-" + std::to_string(value), {.orientation = value});
  }
  add("tiff-orientation-6-tiles", {.orientation = 6, .tile = 16});
  add("tiff-orientation-3-tiles", {.orientation = 3, .tile = 16});
  add("tiff-orientation-7-grey-16",
      {.samples = 1, .bits = 16, .photometric = PHOTOMETRIC_MINISBLACK, .orientation = 7});
  add("tiff-logluv", {.bits = 32,
                      .photometric = PHOTOMETRIC_LOGLUV,
                      .compression = COMPRESSION_SGILOG,
                      .sampleFormat = SAMPLEFORMAT_IEEEFP});
  // libtiff's RGBA interface takes no floating point: refused.
  add("tiff-float", {.bits = 32, .sampleFormat = SAMPLEFORMAT_IEEEFP}, false);
  return files;
}

// --- WebP, OpenCV's writers, sizes beyond the limits, other formats --------

cv::Mat patternImage(int channels) {
  cv::Mat image(kHeight, kWidth, CV_8UC(channels));
  for (int y = 0; y < kHeight; ++y) {
    for (int x = 0; x < kWidth; ++x) {
      for (int c = 0; c < channels; ++c) image.ptr(y)[x * channels + c] = sample(x, y, c);
    }
  }
  return image;
}

Bytes encodedByWebp(const cv::Mat& image, bool lossless) {
  std::uint8_t* out = nullptr;
  const int step = static_cast<int>(image.step);
  std::size_t size = 0;
  if (image.channels() == 3) {
    size = lossless ? WebPEncodeLosslessBGR(image.data, image.cols, image.rows, step, &out)
                    : WebPEncodeBGR(image.data, image.cols, image.rows, step, 80, &out);
  } else {
    size = lossless ? WebPEncodeLosslessBGRA(image.data, image.cols, image.rows, step, &out)
                    : WebPEncodeBGRA(image.data, image.cols, image.rows, step, 80, &out);
  }
  Bytes bytes(out, out + size);
  WebPFree(out);
  return bytes;
}

Bytes encodedByOpenCv(const std::string& extension, const cv::Mat& image) {
  std::vector<std::uint8_t> bytes;
  cv::imencode(extension, image, bytes);
  return bytes;
}

std::vector<CorpusFile> others() {
  const cv::Mat bgr = patternImage(3);
  const cv::Mat bgra = patternImage(4);
  cv::Mat bgra16;
  bgra.convertTo(bgra16, CV_16UC4, 257.0);
  std::vector<CorpusFile> files = {
      {"webp-lossy.webp", encodedByWebp(bgr, false)},
      {"webp-lossless.webp", encodedByWebp(bgr, true)},
      {"webp-lossy-alpha.webp", encodedByWebp(bgra, false)},
      {"webp-lossless-alpha.webp", encodedByWebp(bgra, true)},
      {"webp-1x1.webp", encodedByWebp(bgr(cv::Rect(3, 4, 1, 1)).clone(), false)},
      {"opencv.jpg", encodedByOpenCv(".jpg", bgr)},
      {"opencv.png", encodedByOpenCv(".png", bgr)},
      {"opencv-rgba-16.png", encodedByOpenCv(".png", bgra16)},
      {"opencv.tif", encodedByOpenCv(".tiff", bgr)},
      {"opencv.webp", encodedByOpenCv(".webp", bgr)},
      {"opencv-1x1.jpg", encodedByOpenCv(".jpg", bgr(cv::Rect(5, 6, 1, 1)))},
      {"opencv-1x1.png", encodedByOpenCv(".png", bgr(cv::Rect(5, 6, 1, 1)))},
      // Headers beyond OpenCV's limits: refused before any pixel.
      {"jpeg-60000-square.jpg", bytesOf(jpegDeclaringSize(60000, 60000)), true, false},
      {"png-beyond-pixels.png", bytesOf(pngDeclaringSize(1000000, 1100)), true, false},
      {"tiff-beyond-width.tif", bytesOf(tiffWithOneTile((1u << 20) + 1, 1, 16)), true, false},
      leftToOpenCv("opencv.bmp", encodedByOpenCv(".bmp", bgr)),
      leftToOpenCv("opencv.ppm", encodedByOpenCv(".ppm", bgr)),
      leftToOpenCv("opencv.sr", encodedByOpenCv(".sr", bgr)),
      leftToOpenCv("riff-not-webp.webp",
                   bytesOf(std::string("RIFF\x20\0\0\0WAVEfmt ", 16) + std::string(40, '\0')),
                   false)};
  return files;
}

}  // namespace

std::vector<CorpusFile> decoderCorpus(const fs::path& scratch) {
  std::vector<CorpusFile> corpus = jpegs();
  for (std::vector<CorpusFile> part : {pngs(), tiffs(scratch), others()}) {
    std::move(part.begin(), part.end(), std::back_inserter(corpus));
  }
  return corpus;
}

std::vector<CorpusFile> damagedCopies(const CorpusFile& file) {
  std::vector<CorpusFile> copies;
  const std::size_t size = file.bytes.size();
  const auto copy = [&](const std::string& what) {
    copies.push_back({file.name + "-" + what, file.bytes, file.lightPath, false});
    return &copies.back().bytes;
  };
  // Cut no shorter than 32 bytes, the longest signature (WebP's).
  constexpr std::size_t kSignature = 32;
  for (const std::size_t keep : {size / 2, size * 3 / 4, size - 2}) {
    copy("cut-at-" + std::to_string(keep))->resize(std::max(keep, std::min(size, kSignature)));
  }
  for (const std::size_t at : {size * 3 / 5, size * 4 / 5}) {
    Bytes* bytes = copy("flipped-at-" + std::to_string(at));
    for (std::size_t i = at; i < std::min(at + 3, size); ++i) (*bytes)[i] ^= 0x5A;
  }
  // A lossy WebP's alpha plane (its ALPH chunk) damaged, its colours
  // intact: OpenCV decodes the alpha too, and fails.
  const std::string_view text(reinterpret_cast<const char*>(file.bytes.data()), size);
  const std::size_t alpha = text.find("ALPH");
  if (file.name.ends_with(".webp") && alpha != std::string_view::npos && alpha + 8 < size) {
    Bytes* bytes = copy("alpha-damaged");
    const std::size_t end =
        std::min(size, alpha + 8 + (file.bytes[alpha + 4] | file.bytes[alpha + 5] << 8));
    for (std::size_t i = alpha + 9; i < end; i += 2) (*bytes)[i] ^= 0xA5;
  }
  return copies;
}

}  // namespace tesmic::test
