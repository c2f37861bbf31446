// The texts of live tuning: the readouts in the windows' status bars and
// the command line that repeats a tuned run.
#pragma once

#include <string>
#include <string_view>

#include <opencv2/core/matx.hpp>

#include "pass/detection_bounds.h"

namespace tesmic {

// The status bar of "Vysledek" after a pass: its time as the "Cas" line
// gives it and the share of the image marked, e.g.
// "Cas   0.00061234 | oznaceno 12.34 % pixelu".
std::string passReadout(double seconds, double markedShare);

// The pixel under the pointer: place, colour as loaded (before smoothing)
// and verdict, e.g. "x=120 y=45 | H=172 L=201 S=164 | oznacen".
std::string pixelReadout(int x, int y, const cv::Vec3b& hls, bool marked);

// The word as a POSIX shell (dash, bash) reads it back, byte for byte:
// unchanged when it needs no quotes, else in single quotes. Bytes a
// terminal could obey (see terminal_text.h) never appear raw: each run of
// them is spelt "$(printf '\033...')" with octal escapes only, so that
// printf sees no option and the output ends in no line feed for the
// substitution to strip. A line feed stays literal inside the quotes.
std::string shellQuoted(std::string_view word);

// The command that repeats a run: the program as it was invoked, this
// image and these bounds, preceded by TESMIC_MASK=... when maskPath is not
// empty, e.g. "TESMIC_MASK=maska.png ../build/tesmic 'my photo.jpg' 170 25
// 150 240 80 0". The program word is quoted also where a shell would take
// it for an assignment or a reserved word.
std::string repeatCommand(std::string_view program, std::string_view imageName,
                          const DetectionBounds& bounds, std::string_view maskPath = {});

}  // namespace tesmic
