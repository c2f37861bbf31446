// Opening the two windows where the layout puts them.
#pragma once

#include <opencv2/core/types.hpp>

#include "ui/window_layout.h"

namespace tesmic {

// Opens "Vysledek", then "ORIG", where the toolkit puts them. This starts
// the toolkit.
void createWindows();

// Sizes the two windows for an image of this size and places them by
// layoutWindows() inside usableScreenArea(onX11), each frame (title bar
// included, as wide as the window manager says) inside that area. A frame
// wider than a quarter of the area on any side (another client may write
// one) is taken as if none had been reported. Returns the layout used.
WindowLayout placeWindows(cv::Size image, bool onX11);

}  // namespace tesmic
