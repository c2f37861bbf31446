// The part of the screen the windows may use.
#pragma once

#include "window_layout.h"

namespace tesmic {

// On X (onX11: the windows go through Qt's xcb platform), the work area that
// the window manager publishes for the current desktop (_NET_WORKAREA: the
// screen without its panels), else the whole X screen. Elsewhere, with no
// screen to ask, an area so large that every image is shown 1:1.
ScreenArea usableScreenArea(bool onX11);

}  // namespace tesmic
