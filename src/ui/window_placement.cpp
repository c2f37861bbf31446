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

WindowLayout placeWindows(cv::Size image, bool onX11) {
  QWidget* mask = toolkitWindow(kMaskWindow);
  QWidget* picture = toolkitWindow(kImageWindow);

  FrameExtents frame = kAssumedFrame;   // room kept in the layout
  FrameExtents offset{};                // from the frame's corner to the window's
  const bool managed = mask != nullptr && picture != nullptr && windowManagerRunning(onX11);
  const std::optional<FrameExtents> framed =
      managed ? waitForFrames(*mask, *picture) : std::nullopt;
  const ScreenArea area = usableScreenArea(onX11);
  if (managed) {
    frame = framed && plausible(*framed, area) ? *framed : kAssumedFrame;
    offset = frame;
  }
  const WindowLayout layout = layoutWindows(image, area, frame);
  if (mask != nullptr && picture != nullptr) {
    place(*mask, layout.vysledek, offset, layout.stretched);
    place(*picture, layout.orig, offset, layout.stretched);
  }
  return layout;
}

}  // namespace tesmic
