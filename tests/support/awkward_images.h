// Files that a user or a broken program may hand to tesmic, made at run time.
#pragma once

#include <filesystem>
#include <string>
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

}  // namespace tesmic::test
