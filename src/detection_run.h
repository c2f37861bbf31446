// One detection run with its two windows.
#pragma once

#include <string>

#include "command_line.h"

namespace tesmic {

// Loads the image, shows the mask of the sought colour in "Vysledek" and the
// smoothed image in "ORIG", and waits until a key is pressed or a window is
// closed. Reports a failure as one line on standard error and returns the
// exit code for it (exit_codes.h). With TESMIC_MASK naming a file, the
// final mask is written there at the end; with no display it is written
// without windows. May throw on failures it does not expect
// (cv::Exception, std::bad_alloc); the caller maps those to kExitRunFailed.
int runDetection(const RunSettings& settings);

}  // namespace tesmic
