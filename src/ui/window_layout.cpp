#include "ui/window_layout.h"

#include <algorithm>
#include <cmath>

namespace tesmic {
namespace {

// Room kept between the windows, besides their frames.
constexpr int kWindowGap = 8;

// The whole of a window with its frame, from the size of its view.
struct Outer {
  cv::Size extra;  // frame and chrome around the view

  cv::Size of(cv::Size view) const { return view + extra; }
};

Outer outerFor(const FrameExtents& f) {
  return {{f.left + f.right, f.top + f.bottom + kWindowChromeHeight}};
}

int shown(int length, double scale) { return static_cast<int>(std::floor(length * scale)); }

cv::Size viewFor(cv::Size image, double scale) {
  return {std::max({shown(image.width, scale), kMinViewWidth, kMinViewThickness}),
          std::max(shown(image.height, scale), kMinViewThickness)};
}

bool tooThin(cv::Size image, double scale) {
  return shown(image.width, scale) < kMinViewThickness ||
         shown(image.height, scale) < kMinViewThickness;
}

bool fitsSideBySide(cv::Size outer, const ScreenArea& a) {
  return 2 * outer.width + kWindowGap <= a.width && outer.height <= a.height;
}

bool fitsStacked(cv::Size outer, const ScreenArea& a) {
  return outer.width <= a.width && 2 * outer.height + kWindowGap <= a.height;
}

// Side by side when both fit that way, else stacked.
WindowLayout placed(cv::Size image, double scale, const ScreenArea& a, const Outer& o) {
  const cv::Size view = viewFor(image, scale);
  const cv::Size outer = o.of(view);
  const cv::Point origin(a.x, a.y);
  const bool stretched = tooThin(image, scale);
  if (fitsSideBySide(outer, a)) {
    return {stretched, {origin, view}, {origin + cv::Point(outer.width + kWindowGap, 0), view}};
  }
  return {stretched, {origin, view}, {origin + cv::Point(0, outer.height + kWindowGap), view}};
}

}  // namespace

WindowLayout layoutWindows(cv::Size image, const ScreenArea& a, const FrameExtents& frame) {
  const Outer o = outerFor(frame);
  const cv::Size view = viewFor(image, 1.0);
  const cv::Size outer = o.of(view);
  if (fitsSideBySide(outer, a) || fitsStacked(outer, a)) return placed(image, 1.0, a, o);
  if (outer.width <= a.width && outer.height <= a.height) {
    const cv::Point corner(a.x + a.width - outer.width, a.y + a.height - outer.height);
    return {tooThin(image, 1.0), {corner, view}, {cv::Point(a.x, a.y), view}};
  }
  // The largest scale at which the two fit each way, the better of the two.
  const double w = image.width;
  const double h = image.height;
  const double sideBySide = std::min((a.width - kWindowGap - 2.0 * o.extra.width) / (2 * w),
                                     (a.height - double(o.extra.height)) / h);
  const double stacked = std::min((a.width - double(o.extra.width)) / w,
                                  (a.height - kWindowGap - 2.0 * o.extra.height) / (2 * h));
  const double scale = std::clamp(std::max(sideBySide, stacked), 1e-6, 1.0);
  return placed(image, scale, a, o);
}

}  // namespace tesmic
