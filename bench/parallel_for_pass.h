// The pass split between OpenCV's own threads (cv::parallel_for_, on TBB in
// Debian's build) instead of the worker pool, in the same runs of rows: what
// the pool is held against.
#pragma once

#include <opencv2/core/mat.hpp>

#include "pass/detection_bounds.h"

namespace tesmic::bench {

// The mask of classifyPixels(hls, mask, bounds, workers), byte for byte, with
// the runs of rows handed out by cv::parallel_for_; small images stay on the
// calling thread as they do with the pool.
void classifyWithParallelFor(const cv::Mat& hls, cv::Mat& mask, const DetectionBounds& bounds);

// What prepareClassification does for the pool: one cv::parallel_for_ with a
// stripe per thread, each warming the kernel on a few pixels of its own, so
// that OpenCV's threads are started and awake for the pass that follows.
void prepareParallelFor();

}  // namespace tesmic::bench
