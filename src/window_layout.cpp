#include "window_layout.h"

#include <algorithm>
#include <cmath>

namespace tesmic {
namespace {

constexpr int kFrameWidth = 2 * kFrameSide;
constexpr int kFrameHeight = kFrameTop + kFrameSide + kWindowChromeHeight;

cv::Size viewFor(cv::Size image, double scale) {
  const int width = std::max(1, static_cast<int>(std::floor(image.width * scale)));
  const int height = std::max(1, static_cast<int>(std::floor(image.height * scale)));
  return {std::max(width, kMinViewWidth), height};
}

cv::Size outerSize(cv::Size view) { return {view.width + kFrameWidth, view.height + kFrameHeight}; }

bool fitsSideBySide(cv::Size outer, const ScreenArea& a) {
  return 2 * outer.width + kWindowGap <= a.width && outer.height <= a.height;
}

bool fitsStacked(cv::Size outer, const ScreenArea& a) {
  return outer.width <= a.width && 2 * outer.height + kWindowGap <= a.height;
}

// Side by side when both fit that way, else stacked.
WindowLayout placed(cv::Size view, double scale, const ScreenArea& a) {
  const cv::Size outer = outerSize(view);
  const cv::Point origin(a.x, a.y);
  if (fitsSideBySide(outer, a)) {
    return {Arrangement::kSideBySide, scale, {origin, view},
            {origin + cv::Point(outer.width + kWindowGap, 0), view}};
  }
  return {Arrangement::kStacked, scale, {origin, view},
          {origin + cv::Point(0, outer.height + kWindowGap), view}};
}

}  // namespace

WindowLayout layoutWindows(cv::Size image, const ScreenArea& a) {
  const cv::Size view = viewFor(image, 1.0);
  const cv::Size outer = outerSize(view);
  if (fitsSideBySide(outer, a) || fitsStacked(outer, a)) return placed(view, 1.0, a);
  if (outer.width <= a.width && outer.height <= a.height) {
    const cv::Point corner(a.x + a.width - outer.width, a.y + a.height - outer.height);
    return {Arrangement::kOverlapping, 1.0, {corner, view}, {cv::Point(a.x, a.y), view}};
  }
  // The largest scale at which the two fit each way, the better of the two.
  const double w = image.width;
  const double h = image.height;
  const double sideBySide = std::min((a.width - kWindowGap - 2.0 * kFrameWidth) / (2 * w),
                                     (a.height - double(kFrameHeight)) / h);
  const double stacked = std::min((a.width - double(kFrameWidth)) / w,
                                  (a.height - kWindowGap - 2.0 * kFrameHeight) / (2 * h));
  const double scale = std::clamp(std::max(sideBySide, stacked), 1e-6, 1.0);
  return placed(viewFor(image, scale), scale, a);
}

}  // namespace tesmic
