// The command line that repeats a tuned run, for a POSIX shell.
#pragma once

#include <string>
#include <string_view>

#include "pass/detection_bounds.h"

namespace tesmic {

// The command that repeats a run: the program as it was invoked, this
// image and these bounds, preceded by TESMIC_MASK=... when maskPath is not
// empty, e.g. "TESMIC_MASK=maska.png ../build/tesmic 'my photo.jpg' 170 25
// 150 240 80 0". A POSIX shell (dash, bash) reads each word back byte for
// byte: a word that needs quotes is put in single quotes, and the program
// word also where a shell would take it for an assignment or a reserved
// word. Bytes a terminal could obey (see terminal_text.h) never appear raw:
// each run of them is spelt "$(printf '\033...')" with octal escapes only,
// so that printf sees no option and the output ends in no line feed for the
// substitution to strip. A line feed stays literal inside the quotes.
std::string repeatCommand(std::string_view program, std::string_view imageName,
                          const DetectionBounds& bounds, std::string_view maskPath = {});

}  // namespace tesmic
