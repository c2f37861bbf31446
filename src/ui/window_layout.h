// Where the two windows go and how large they show the image, so that both
// lie on the screen whole.
#pragma once

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

struct WindowPlace {
  cv::Point position;  // of the window's frame, as cv::moveWindow takes it
  cv::Size view;       // the image area; the window is kWindowChromeHeight taller
};

struct WindowLayout {
  bool stretched;  // the image fills its views, its aspect not kept
  WindowPlace orig;
  WindowPlace vysledek;
};

// An image that fits is shown 1:1: ORIG left of Vysledek if both fit that
// way, else ORIG above Vysledek, else (one fits, two do not) overlapping:
// Vysledek at the top left and ORIG, which is shown last and so lies on
// top, at the bottom right, with as much of Vysledek in view as the area
// leaves. A larger image is scaled down, the same in both windows, until
// the two fit side by side or stacked, whichever shows it larger. Positions
// are those of the frames' top left corners.
WindowLayout layoutWindows(cv::Size image, const ScreenArea& area,
                           const FrameExtents& frame = kAssumedFrame);

}  // namespace tesmic
