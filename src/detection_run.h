// One detection run with its two windows.
#pragma once

#include <string>

#include "detection_bounds.h"

namespace tesmic {

// Loads the image, shows the mask of the sought colour in "Vysledek" and the
// smoothed image in "ORIG", and waits until the run ends: a key, a closed
// window, SIGINT, SIGTERM or SIGHUP, or the display lost. Every ending gives
// the same end-of-run output; after a signal the process then ends by that
// signal, after a lost display with kExitNoDisplay, without returning.
// Reports a failure as one line on standard error and returns the exit code
// for it (exit_codes.h). May throw on failures it does not expect
// (cv::Exception, std::bad_alloc); the caller maps those to kExitRunFailed.
int runDetection(const std::string& imageName, const DetectionBounds& bounds);

}  // namespace tesmic
