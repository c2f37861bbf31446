// Files that a user or a broken program may hand to tesmic, made at run time.
#pragma once

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

namespace tesmic::test {

enum class Outcome {
  kShown,       // loads; the windows open and a key ends the run with 0
  kUnreadable,  // exit 1 with the message that names the file
};

struct AwkwardImage {
  std::string what;             // for the test's trace
  std::filesystem::path path;
  Outcome outcome;
  std::string printedAs;        // the path as the error message shows it
};

// Writes the whole corpus into dir (which must exist) and describes it.
// Besides images and broken files it holds things that are not files at
// all: a FIFO (opening it would block), a socket, a device, a folder.
std::vector<AwkwardImage> writeAwkwardImages(const std::filesystem::path& dir);

// A PNG of colour type 3 (palette) with a tRNS chunk, which OpenCV cannot
// write itself: width x height pixels, index (x + y) % 4 of a four-colour
// palette whose first entry is fully transparent.
std::string palettePngWithTransparency(int width, int height);

// The PNG signature and an IHDR chunk declaring width x height, followed by
// a tiny IDAT and IEND: a decompression bomb as far as the header goes.
std::string pngDeclaringSize(unsigned width, unsigned height);

// A 16 x 16 JPEG whose frame header claims width x height (at most 65535
// each): its data ends long before such an image would.
std::string jpegDeclaringSize(unsigned width, unsigned height);

// A width x height RGB TIFF stored as one deflated tile of tile x tile
// pixels: a small file whose decoder needs a buffer for the whole tile.
std::string tiffWithOneTile(unsigned width, unsigned height, unsigned tile);

// A flat grey progressive JPEG of width x height followed by scans that
// carry no data: a small file whose decoder goes over every block once per
// scan.
std::string jpegWithEmptyScans(int width, int height, int scans);

// PNGs whose pixels are intact but whose metadata libpng complains about:
// a junk colour profile (iCCP), a zTXt that inflates to 100 MB, a tEXt
// chunk with a wrong CRC. Name and content of each.
std::vector<std::pair<std::string, std::string>> pngsWithBadMetadata();

}  // namespace tesmic::test
