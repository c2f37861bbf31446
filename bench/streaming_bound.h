// The speed of memory for the pass: a kernel that reads every byte of an HLS
// image and writes every byte of a mask with next to no work in between.
#pragma once

#include <opencv2/core/mat.hpp>

#include "pass/worker_pool.h"

namespace tesmic::bench {

enum class StoreStyle {
  Plain,        // StoreU, as classifyPixels stores
  NonTemporal,  // Stream: past the caches, no read for ownership
};

// Writes the OR of the three channels of each pixel of hls (CV_8UC3) into
// mask (CV_8UC1, same size). Loads, row walk and dispatch are those of
// classifyPixels; with StoreStyle::Plain so are the stores, and the two then
// differ only in the work between load and store. NonTemporal shows what
// memory allows when the mask does not pass through the caches.
void streamingBound(const cv::Mat& hls, cv::Mat& mask, StoreStyle style);

// The same with the rows shared between the threads of workers in the runs
// the pass uses: the speed of memory on every core.
void streamingBound(const cv::Mat& hls, cv::Mat& mask, StoreStyle style,
                    WorkerPool& workers);

// The instruction set dynamic dispatch picks for these kernels here.
const char* dispatchedTargetName();

}  // namespace tesmic::bench
