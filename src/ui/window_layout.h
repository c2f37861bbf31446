// Where the two windows go and how large they show the image, so that both
// lie on the screen whole.
#pragma once

#include <optional>

#include <opencv2/core/types.hpp>

#include "ui/screen_area.h"

namespace tesmic {

// OpenCV's Qt window: a toolbar above the image and a status bar below it,
// each of a fixed height.
inline constexpr int kWindowChromeHeight = 28 + 20;

// Room kept for a frame when the window manager does not tell its own;
// without a window manager the windows merely sit a little apart.
inline constexpr int kFrameTop = 32;
inline constexpr int kFrameSide = 4;
inline constexpr FrameExtents kAssumedFrame{kFrameSide, kFrameTop, kFrameSide, kFrameSide};

// Narrower views leave no room for the readouts of the status bar; a
// narrower image sits in the middle of its view, still 1:1, unless it is
// thinner than kMinViewThickness.
inline constexpr int kMinViewWidth = 240;

// A view is never thinner than this; an image that would be shown thinner
// is stretched across its view that way, so that it stays visible.
inline constexpr int kMinViewThickness = 8;

// Both windows are scaled down until neither covers the other, unless that
// would show the image less than this thick; then they overlap instead.
inline constexpr int kMinWholeView = 160;

struct WindowPlace {
  cv::Point position;  // of the window's frame, as cv::moveWindow takes it
  cv::Size view;       // the image area; the window is kWindowChromeHeight taller
};

struct WindowLayout {
  bool stretched;  // the image fills its views, its aspect not kept
  WindowPlace orig;
  WindowPlace vysledek;
  std::optional<cv::Point> panel;  // the control panel's frame, when it was laid out too
};

// An image whose two windows fit side by side (ORIG left of Vysledek) or
// else stacked (ORIG above) is shown 1:1. A larger one is scaled down, the
// same in both windows, until the two fit side by side or stacked,
// whichever shows it larger. Only where that would show the image thinner
// than kMinWholeView and one window alone would show it larger do they
// overlap, at the scale at which one window fits: Vysledek at the top left
// and ORIG, which is shown last and so lies on top, at the bottom right.
// Positions are those of the frames' top left corners.
//
// With a control panel (its size without the frame, which is taken to be
// the windows'), the panel goes right of the windows, else below them,
// where the area leaves room for it; where it does not, the windows are
// laid out again in the area less a strip for the panel at the right or at
// the bottom, whichever shows the image larger. So the panel never covers
// either window.
WindowLayout layoutWindows(cv::Size image, const ScreenArea& area,
                           const FrameExtents& frame = kAssumedFrame, cv::Size panel = {});

}  // namespace tesmic
