// What a run leaves when it ends: the command that repeats it, the mask file.
#pragma once

#include <string>

#include <opencv2/core/mat.hpp>

#include "pass/detection_bounds.h"

namespace tesmic {

// What the end of a run needs to know.
struct RunEnding {
  std::string programName;  // argv[0] as invoked
  std::string imageName;
  DetectionBounds bounds;   // the final ones
  bool boundsChanged = false;
  const cv::Mat* mask = nullptr;  // the final mask, CV_8UC1
  std::string maskPath;     // TESMIC_MASK; empty: no file
  // The repeat command starts a line of its own: the terminal has echoed
  // "^C" where the cursor was.
  bool freshLine = false;
};

// Prints the command that repeats the run on standard output when the
// bounds changed (carrying TESMIC_MASK when set), then writes the mask file
// when one is named. Returns kExitOk, or kExitRunFailed after one Czech
// line on standard error when either cannot be written.
int finishRun(const RunEnding& ending);

}  // namespace tesmic
