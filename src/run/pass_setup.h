// What a run does before it times its first pass.
#pragma once

#include <opencv2/core/mat.hpp>

#include "pass/detection_bounds.h"
#include "pass/worker_pool.h"

namespace tesmic {

// What the pass reads and writes.
struct PassImages {
  cv::Mat snimekKLON;  // the HLS copy of the picture (snimek) as loaded
  cv::Mat maska;       // the mask: kSought where the rule holds, else kOther
};

// Everything the first pass over picture (CV_8UC3, BGR, as loaded) needs,
// so that its clock measures the pass alone, not page faults, thread
// start-up or the choice of instruction set: the HLS copy, taken before any
// smoothing, as the detection sees the colours as loaded; with
// smoothPicture, the picture then smoothed in place as ORIG shows it (3x3
// Gaussian, edges replicated); the mask, all kOther, its pages committed;
// the threads of workers and the pass's code (prepareClassification). Both
// images lie on huge pages where the kernel offers them. May throw
// cv::Exception or std::bad_alloc.
PassImages setUpPass(cv::Mat& picture, bool smoothPicture, WorkerPool& workers);

// The pass of bounds over images on workers, timed: its seconds. Right after
// setUpPass, the threads are still awake.
double timedPass(PassImages& images, const DetectionBounds& bounds, WorkerPool& workers);

}  // namespace tesmic
