#include "ui/window_placement.h"

#include <chrono>
#include <optional>
#include <thread>

#include <QCoreApplication>
#include <QRect>
#include <QWidget>
#include <opencv2/highgui.hpp>

#include "ui/screen_area.h"
#include "ui/toolkit_windows.h"
#include "ui/window_titles.h"

namespace tesmic {
namespace {

// How long a window manager may take to frame a new window; one that has
// not by then is assumed to frame it as kAssumedFrame.
constexpr auto kFramingTimeout = std::chrono::milliseconds(1500);

// In logical pixels, as Qt places windows.
std::optional<FrameExtents> logicalFrame(QWidget& window) {
  const std::optional<FrameExtents> device = frameExtents(window.winId());
  if (!device) return std::nullopt;
  const double scale = window.devicePixelRatioF();
  const auto logical = [scale](int pixels) { return static_cast<int>(pixels / scale + 0.999); };
  return FrameExtents{logical(device->left), logical(device->top), logical(device->right),
                      logical(device->bottom)};
}

// The frame of the first window once the window manager has framed both:
// from then on it has placed them where it likes, and a move is final.
std::optional<FrameExtents> waitForFrames(QWidget& first, QWidget& second) {
  const auto deadline = std::chrono::steady_clock::now() + kFramingTimeout;
  for (;;) {
    QCoreApplication::processEvents();
    const std::optional<FrameExtents> frame = logicalFrame(first);
    if (frame && logicalFrame(second)) return frame;
    if (std::chrono::steady_clock::now() >= deadline) return std::nullopt;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

// Any client may write a window's frame extents: a frame wider than a
// quarter of the screen area on a side would put the windows off it.
bool plausible(const FrameExtents& frame, const ScreenArea& area) {
  return frame.left <= area.width / 4 && frame.right <= area.width / 4 &&
         frame.top <= area.height / 4 && frame.bottom <= area.height / 4;
}

// Sized so that the image area shows the image at the layout's scale: 1:1
// where it fits, scaled to the screen where not. The window's own area
// (without the frame) at the place the layout gives
// its frame. Positions without the frame are taken as they are by a window
// manager, while one including it depends on what Qt knows of the frame.
void place(QWidget& window, const WindowPlace& place, const FrameExtents& offset, bool stretched) {
  cv::setWindowProperty(window.windowTitle().toStdString(), cv::WND_PROP_ASPECT_RATIO,
                        stretched ? cv::WINDOW_FREERATIO : cv::WINDOW_KEEPRATIO);
  window.setGeometry(QRect(place.position.x + offset.left, place.position.y + offset.top,
                           place.view.width, place.view.height + kWindowChromeHeight));
}

}  // namespace

void createWindows() {
  // Normal windows rather than auto-sized ones, which are never narrower
  // than their toolbar; placeWindows() sizes them to the image.
  cv::namedWindow(kMaskWindow, cv::WINDOW_NORMAL | cv::WINDOW_KEEPRATIO);
  cv::namedWindow(kImageWindow, cv::WINDOW_NORMAL | cv::WINDOW_KEEPRATIO);
}

WindowPlacement placeWindows(cv::Size image, bool onX11) {
  QWidget* mask = toolkitWindow(kMaskWindow);
  QWidget* picture = toolkitWindow(kImageWindow);

  WindowPlacement placement{image, {}, kAssumedFrame, {}, {}};
  const bool managed = mask != nullptr && picture != nullptr && windowManagerRunning(onX11);
  const std::optional<FrameExtents> framed =
      managed ? waitForFrames(*mask, *picture) : std::nullopt;
  placement.area = usableScreenArea(onX11);
  if (managed) {
    placement.frame = framed && plausible(*framed, placement.area) ? *framed : kAssumedFrame;
    placement.offset = placement.frame;
  }
  placement.layout = layoutWindows(image, placement.area, placement.frame);
  if (mask != nullptr && picture != nullptr) {
    place(*mask, placement.layout.vysledek, placement.offset, placement.layout.stretched);
    place(*picture, placement.layout.orig, placement.offset, placement.layout.stretched);
  }
  return placement;
}

void placePanel(QWidget& panel, WindowPlacement& placement) {
  // Its size in the style it is shown in.
  panel.ensurePolished();
  panel.adjustSize();
  const cv::Size size(panel.width(), panel.height());
  const WindowLayout layout =
      layoutWindows(placement.image, placement.area, placement.frame, size);
  const auto moved = [](const WindowPlace& a, const WindowPlace& b) {
    return a.position != b.position || a.view != b.view;
  };
  if (moved(layout.orig, placement.layout.orig) || moved(layout.vysledek, placement.layout.vysledek)) {
    QWidget* mask = toolkitWindow(kMaskWindow);
    QWidget* picture = toolkitWindow(kImageWindow);
    if (mask != nullptr) place(*mask, layout.vysledek, placement.offset, layout.stretched);
    if (picture != nullptr) place(*picture, layout.orig, placement.offset, layout.stretched);
  }
  placement.layout = layout;
  const cv::Point corner = layout.panel.value_or(cv::Point(placement.area.x, placement.area.y));
  panel.setGeometry(QRect(corner.x + placement.offset.left, corner.y + placement.offset.top,
                          size.width, size.height));
}

}  // namespace tesmic
