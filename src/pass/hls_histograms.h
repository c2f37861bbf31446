// How the values of each channel of an HLS image are spread, for the
// control panel's histograms.
#pragma once

#include <array>
#include <bitset>
#include <cstdint>

#include <opencv2/core/mat.hpp>

#include "pass/detection_bounds.h"
#include "pass/worker_pool.h"

namespace tesmic {

// The channels in the order of the image: hue, lightness, saturation, and
// the greatest value each takes in OpenCV's 8-bit HLS.
inline constexpr int kHlsChannels = 3;
inline constexpr std::array<int, kHlsChannels> kChannelTop = {180, 255, 255};

// How many pixels hold each value of one channel.
using ChannelCounts = std::array<std::uint32_t, 256>;
using HlsCounts = std::array<ChannelCounts, kHlsChannels>;

// The values of each channel that pass that channel's own tests of the
// rule: hue HH and HL, lightness SH, SL and VL, saturation VH. A pixel is
// marked when each of its three values passes.
std::array<std::bitset<256>, kHlsChannels> passingValues(const DetectionBounds& bounds);

// The counts of each channel over the image (CV_8UC3, HLS), from every
// rowStep-th row (0, rowStep, 2 rowStep, ...).
HlsCounts channelCounts(const cv::Mat& hls, WorkerPool& workers, int rowStep = 1);

// The counts of each channel over the pixels whose other two channels pass
// their tests: where that channel's own bounds cut the pixels the others
// leave. From every rowStep-th row, as channelCounts(). Shared between the
// threads of workers for images large enough to gain from it.
HlsCounts countsPassingOthers(const cv::Mat& hls, const DetectionBounds& bounds,
                              WorkerPool& workers, int rowStep = 1);

// The row step for histograms to show an image of this size: every row up
// to about two million pixels, beyond that rows spread evenly over the
// image, so that drawing them again as the bounds move costs about the same
// at any size (a few milliseconds here, measured in bench/).
int histogramRowStep(cv::Size image);

}  // namespace tesmic
