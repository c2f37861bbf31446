// The texts of live tuning: the readouts in the windows' status bars and
// the command line that repeats a tuned run.
#pragma once

#include <string>
#include <string_view>

#include <opencv2/core/matx.hpp>

#include "detection_bounds.h"

namespace tesmic {

// The status bar of "Vysledek" after a pass: its time as the "Cas" line
// gives it and the share of the image marked, e.g.
// "Cas   0.00061234 | oznaceno 12.34 % pixelu".
std::string passReadout(double seconds, double markedShare);

// The pixel under the pointer: place, colour as loaded (before smoothing)
// and verdict, e.g. "x=120 y=45 | H=172 L=201 S=164 | oznacen".
std::string pixelReadout(int x, int y, const cv::Vec3b& hls, bool marked);

// The word as a POSIX shell reads it back: unchanged when it needs no
// quotes, else in single quotes; a word with bytes a terminal could obey
// (see terminal_text.h) is spelt with printf's octal escapes instead, so
// that the line stays safe to print. A word ending in a line feed does not
// survive the command substitution that spelling uses.
std::string shellQuoted(std::string_view word);

// The command that repeats a run on this image with these bounds, e.g.
// "tesmic 'my photo.jpg' 170 25 150 240 80 0".
std::string repeatCommand(const std::string& imageName, const DetectionBounds& bounds);

}  // namespace tesmic
