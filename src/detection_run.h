// One detection run with its two windows.
#pragma once

#include <string>

#include "detection_bounds.h"

namespace tesmic {

// Loads the image, shows the mask of the sought colour in "Vysledek" and the
// smoothed image in "ORIG", and waits until a key is pressed or a window is
// closed. Reports a failure as one line on standard error and returns the
// exit code for it (exit_codes.h). May throw on failures it does not expect
// (cv::Exception, std::bad_alloc); the caller maps those to kExitRunFailed.
int runDetection(const std::string& imageName, const DetectionBounds& bounds);

}  // namespace tesmic
