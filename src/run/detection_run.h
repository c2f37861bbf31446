// One detection run with its two windows.
#pragma once

#include <string>

#include "codec/codec_session.h"
#include "run/command_line.h"

namespace tesmic {

// Loads the image through codecs, shows the mask of the sought colour in "Vysledek" and the
// smoothed image in "ORIG", and waits until the run ends: a key, a closed
// window, SIGINT, SIGTERM or SIGHUP, or the display lost. Every ending gives
// the same end-of-run output (the repeat command, the mask file that
// TESMIC_MASK names); after a signal the process then ends by that signal,
// after a lost display with kExitNoDisplay, without returning. With
// TESMIC_MASK set and no display, the mask is written without windows.
// Reports a failure as one line on standard error and returns the exit code
// for it (exit_codes.h). May throw on failures it does not expect
// (cv::Exception, std::bad_alloc); the caller maps those to kExitRunFailed.
int runDetection(const RunSettings& settings, CodecSession& codecs);

}  // namespace tesmic
