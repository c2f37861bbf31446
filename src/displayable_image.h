// Bringing whatever a decoder returns to the one form the run works on.
#pragma once

#include <opencv2/core/mat.hpp>

namespace tesmic {

// The image as three 8-bit channels, BGR. Depths are scaled as OpenCV's
// windows scale them for display: floating point from 0..1 (times 255),
// 16- and 32-bit integers divided by 256, signed ones shifted by 128,
// saturating at both ends (NaN becomes 0). One or two channels are grey
// (with alpha) and become three equal ones; of four or more the first three
// are kept. An 8-bit BGR image is returned as it is, without a copy; an
// empty one stays empty.
cv::Mat toBgr8(const cv::Mat& image);

}  // namespace tesmic
