// Bringing whatever a decoder returns to the one form the run works on.
#pragma once

#include <opencv2/core/mat.hpp>

namespace tesmic {

// The image as three 8-bit channels, BGR. Floating point (half, single or
// double precision) is taken as 0..1
// and multiplied by 255, as OpenCV's windows show it; 16- and 32-bit
// integers are divided by 256, as its decoders reduce 16-bit files; signed
// ones are shifted by 128 to the middle; all saturate at both ends (NaN
// becomes 0). One or two channels are grey
// (with alpha) and become three equal ones; of four or more the first three
// are kept. An 8-bit BGR image is returned as it is, without a copy; an
// empty one stays empty.
cv::Mat toBgr8(const cv::Mat& image);

}  // namespace tesmic
