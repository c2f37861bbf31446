// Marking the pixels of the sought colour in an HLS image.
#pragma once

#include <cstdint>

#include <opencv2/core/mat.hpp>

#include "pass/detection_bounds.h"
#include "pass/worker_pool.h"

namespace tesmic {

inline constexpr std::uint8_t kSought = 255;
inline constexpr std::uint8_t kOther = 0;

// The pass: writes kSought or kOther into every pixel of mask (CV_8UC1) for
// the pixel at the same row and column of hls (CV_8UC3, channels hue,
// lightness, saturation), by the rule of detection_bounds.h. Both images
// are addressed through their own row stride, so either may be a view into
// a larger image; bytes past the end of a row are never read or written.
// hls is left unchanged. Allocates nothing. Throws cv::Exception when the
// types or sizes do not fit. Runs on the calling thread.
void classifyPixels(const cv::Mat& hls, cv::Mat& mask,
                    const DetectionBounds& bounds);

// The same pass with its rows split between the threads of workers. Images
// too small to gain from it stay on the calling thread. The mask is the same
// byte for byte.
void classifyPixels(const cv::Mat& hls, cv::Mat& mask,
                    const DetectionBounds& bounds, WorkerPool& workers);

// The pass's one-time set-up, on every thread of workers: picks the
// instruction set and brings the chosen code into the caches, on a few
// pixels of its own. Calling it right before a timed pass keeps that set-up
// out of the time and leaves the threads awake for the pass.
void prepareClassification(WorkerPool& workers);

}  // namespace tesmic
