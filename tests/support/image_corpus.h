// Image files of every variant the light decoders must read as OpenCV
// does, made at run time by the formats' own writers and by OpenCV's, and
// damaged copies of them.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace tesmic::test {

struct CorpusFile {
  std::string name;  // with the extension of its format, for the trace
  std::vector<std::uint8_t> bytes;
  bool lightPath = true;  // decoded by the light path; false: left to OpenCV
  bool loads = true;      // cv::imread loads it, as made
};

// The variants: JPEG (baseline, progressive, arithmetic, restart markers,
// 4:2:0/4:2:2/4:4:4, grey, RGB, CMYK with and without Adobe's marker, YCCK,
// a JFIF version libjpeg warns about, EXIF orientations 1 to 8 and
// malformed EXIF), PNG (grey, grey with alpha, RGB, RGBA and palette at
// every depth, tRNS, Adam7, eXIf before and after the pixels, metadata
// libpng warns about), TIFF (strips and tiles, contiguous and planar, none,
// LZW, deflate, PackBits and JPEG, 1 to 32 bits, grey, palette, alpha,
// CMYK, YCbCr, orientation 1 to 8, two pages), WebP (lossy, lossless, with
// alpha), the same written by OpenCV, headers declaring sizes beyond
// OpenCV's limits, and formats left to OpenCV. scratch: a folder for
// libtiff's writer.
std::vector<CorpusFile> decoderCorpus(const std::filesystem::path& scratch);

// Copies of file cut short at a few points and with bytes flipped in its
// data; each may or may not load. A copy of a file left to OpenCV may be
// one the light path decodes (its EXIF after the pixels cut off).
std::vector<CorpusFile> damagedCopies(const CorpusFile& file);

}  // namespace tesmic::test
