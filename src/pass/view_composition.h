// What "Vysledek" shows: the mask, or the picture where the mask marks it.
#pragma once

#include <cstdint>

#include <opencv2/core/mat.hpp>

namespace tesmic {

// The views Vysledek can show, in the order the control panel offers them.
enum class MaskView {
  kMask = 0,      // the mask itself, white where marked
  kMarked = 1,    // the picture where marked, black elsewhere
  kTinted = 2,    // the picture, the marked pixels blended half with green
};
inline constexpr int kViewCount = 3;

// The tint of kTinted in BGR: far from the reds the tool is mostly asked
// for. A marked pixel p becomes (p + kTint + 1) / 2, channel by channel.
inline constexpr std::uint8_t kTint[3] = {0, 255, 0};

// Writes the view of picture (CV_8UC3, BGR, the picture "ORIG" shows) under
// mask (CV_8UC1, 0 or 255 as the pass writes it) into shown, which is
// (re)allocated to the picture's size and type. Not for kMask: the mask is
// shown as it is. Runs on the calling thread: it is bound by memory, and a
// second thread that another program keeps off its core would hold the
// frame up. Throws cv::Exception when the types or sizes do not fit.
void composeView(MaskView view, const cv::Mat& picture, const cv::Mat& mask, cv::Mat& shown);

}  // namespace tesmic
