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
  cv::Rect around(const WindowPlace& place) const { return {place.position, of(place.view)}; }
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
    return {stretched, {origin, view}, {origin + cv::Point(outer.width + kWindowGap, 0), view}, {}};
  }
  return {stretched, {origin, view}, {origin + cv::Point(0, outer.height + kWindowGap), view}, {}};
}

// The two windows alone.
WindowLayout layoutTwo(cv::Size image, const ScreenArea& a, const Outer& o) {
  const cv::Size outer = o.of(viewFor(image, 1.0));
  if (fitsSideBySide(outer, a) || fitsStacked(outer, a)) return placed(image, 1.0, a, o);
  // The largest scale at which the two fit each way, the better of the two,
  // and the one at which a window fits alone.
  const double w = image.width;
  const double h = image.height;
  const double sideBySide = std::min((a.width - kWindowGap - 2.0 * o.extra.width) / (2 * w),
                                     (a.height - double(o.extra.height)) / h);
  const double stacked = std::min((a.width - double(o.extra.width)) / w,
                                  (a.height - kWindowGap - 2.0 * o.extra.height) / (2 * h));
  const double both = std::clamp(std::max(sideBySide, stacked), 1e-6, 1.0);
  const double alone = std::clamp(std::min((a.width - double(o.extra.width)) / w,
                                           (a.height - double(o.extra.height)) / h),
                                  1e-6, 1.0);
  if (std::min(shown(image.width, both), shown(image.height, both)) >= kMinWholeView ||
      alone <= both) {
    return placed(image, both, a, o);
  }
  const cv::Size view = viewFor(image, alone);
  const cv::Size outerAlone = o.of(view);
  const cv::Point corner(std::max(a.x, a.x + a.width - outerAlone.width),
                         std::max(a.y, a.y + a.height - outerAlone.height));
  return {tooThin(image, alone), {corner, view}, {cv::Point(a.x, a.y), view}, {}};
}

// The better of two layouts: windows apart before overlapping ones, then
// the one that shows more of the image, by the height of its views (never
// widened for the status bar as the width is).
bool better(const WindowLayout& l, const WindowLayout& than, const Outer& o) {
  const bool apart = (o.around(l.orig) & o.around(l.vysledek)).empty();
  const bool thanApart = (o.around(than.orig) & o.around(than.vysledek)).empty();
  if (apart != thanApart) return apart;
  return l.orig.view.height > than.orig.view.height;
}

// The windows' frames and all that lies between them.
cv::Rect windowsAround(const WindowLayout& l, const Outer& o) {
  return o.around(l.orig) | o.around(l.vysledek);
}

WindowLayout withPanel(cv::Size image, const ScreenArea& a, const Outer& o, cv::Size panel) {
  const cv::Size outerPanel = panel + cv::Size(o.extra.width, o.extra.height - kWindowChromeHeight);
  const int right = a.x + a.width;
  const int bottom = a.y + a.height;

  WindowLayout free = layoutTwo(image, a, o);
  const cv::Rect windows = windowsAround(free, o);
  if (right - windows.br().x - kWindowGap >= outerPanel.width && outerPanel.height <= a.height) {
    free.panel = cv::Point(windows.br().x + kWindowGap, a.y);
    return free;
  }
  if (bottom - windows.br().y - kWindowGap >= outerPanel.height && outerPanel.width <= a.width) {
    free.panel = cv::Point(a.x, windows.br().y + kWindowGap);
    return free;
  }

  // The windows in the area less a strip for the panel, right or below;
  // the panel right next to them.
  std::optional<WindowLayout> best;
  const ScreenArea leftPart{a.x, a.y, a.width - outerPanel.width - kWindowGap, a.height};
  if (leftPart.width > 0) {
    best = layoutTwo(image, leftPart, o);
    best->panel = cv::Point(windowsAround(*best, o).br().x + kWindowGap, a.y);
  }
  const ScreenArea topPart{a.x, a.y, a.width, a.height - outerPanel.height - kWindowGap};
  if (topPart.height > 0) {
    WindowLayout above = layoutTwo(image, topPart, o);
    above.panel = cv::Point(a.x, windowsAround(above, o).br().y + kWindowGap);
    if (!best || better(above, *best, o)) best = above;
  }
  if (best) return *best;
  // A panel larger than the area: at its top right, over the windows.
  free.panel = cv::Point(std::max(a.x, right - outerPanel.width), a.y);
  return free;
}

}  // namespace

WindowLayout layoutWindows(cv::Size image, const ScreenArea& a, const FrameExtents& frame,
                           cv::Size panel) {
  const Outer o = outerFor(frame);
  if (panel.empty()) return layoutTwo(image, a, o);
  return withPanel(image, a, o, panel);
}

}  // namespace tesmic
