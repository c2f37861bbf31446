// The mask computed without the vectorised pass, for comparison: the rule
// taken literally, and what an OpenCV user would write.
#pragma once

#include <opencv2/core/mat.hpp>

#include "pass/detection_bounds.h"

namespace tesmic::bench {

// The tests' reference rule called for every pixel, row by row, each image
// through its own stride. Same contract as classifyPixels.
void classifyLiteral(const cv::Mat& hls, cv::Mat& mask,
                     const DetectionBounds& bounds);

// The images the inRange composition writes its two hue bands into. Kept
// between calls so that the comparison times the work and not allocation.
struct InRangeScratch {
  cv::Mat lowHue;
  cv::Mat highHue;
};

// The mask from cv::inRange and cv::bitwise_or: the hue rule is two bands,
// 0..HL-1 and HH+1..255, each combined with the lightness and saturation
// ranges in one inRange call, and the two results OR'ed. Same contract as
// classifyPixels, for any bounds.
void classifyWithInRange(const cv::Mat& hls, cv::Mat& mask,
                         const DetectionBounds& bounds,
                         InRangeScratch& scratch);

}  // namespace tesmic::bench
