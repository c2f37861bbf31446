// Opening the two windows where the layout puts them.
#pragma once

#include <opencv2/core/types.hpp>

#include "ui/window_layout.h"

class QWidget;

namespace tesmic {

// Opens "Vysledek", then "ORIG", where the toolkit puts them. This starts
// the toolkit.
void createWindows();

// Where the windows were placed, and on what, for placing the control
// panel beside them later.
struct WindowPlacement {
  cv::Size image;
  ScreenArea area;
  FrameExtents frame;   // the room kept for each window's frame
  FrameExtents offset;  // from a frame's corner to its window's
  WindowLayout layout;
};

// Sizes the two windows for an image of this size and places them by
// layoutWindows() inside usableScreenArea(onX11), each frame (title bar
// included, as wide as the window manager says) inside that area. A frame
// wider than a quarter of the area on any side (another client may write
// one) is taken as if none had been reported.
WindowPlacement placeWindows(cv::Size image, bool onX11);

// Places the control panel, at the size it asks for, beside the windows by
// layoutWindows(); where the area leaves no room for it, the windows are
// first placed again, smaller. placement then holds the new layout.
void placePanel(QWidget& panel, WindowPlacement& placement);

}  // namespace tesmic
