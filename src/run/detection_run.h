// One detection run with its two windows.
#pragma once

#include "codec/codec_session.h"
#include "run/command_line.h"
#include "run/run_end.h"

namespace tesmic {

// Loads the image through codecs, shows the mask of the sought colour in "Vysledek" and the
// smoothed image in "ORIG", and waits until the run ends (run_end.h: a key,
// a closed window, a signal, the display lost). With TESMIC_MASK set and no
// display, the mask is written without windows. Reports a failure as one
// line on standard error and returns the exit code for it (exit_codes.h).
// May throw on failures it does not expect (cv::Exception, std::bad_alloc);
// the caller hands those to end.fail().
int runDetection(const RunSettings& settings, CodecSession& codecs, RunEnd& end);

}  // namespace tesmic
