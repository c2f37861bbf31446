// The part of the screen the windows may use.
#pragma once

#include <optional>

namespace tesmic {

// The part of the screen windows may use (a window manager's work area
// leaves its panels out), in screen pixels.
struct ScreenArea {
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;
};

// What a window manager adds around each window (a title bar and borders).
struct FrameExtents {
  int left = 0;
  int top = 0;
  int right = 0;
  int bottom = 0;
};

// The monitor under the pointer, else the primary one, cut down to the work
// area the window manager leaves free (its panels), in the logical pixels
// that Qt lays windows out in (scale factors applied). The monitors are
// RandR's where onX11 (the windows go through Qt's xcb platform), else Qt's
// screens. A work area that leaves no useful room on the monitor is taken
// for a wrong one and ignored. With no screen at all, an area so large that
// every image is shown 1:1. Needs the toolkit started (a window opened).
ScreenArea usableScreenArea(bool onX11);

// Whether a window manager announces itself on the X display, so that the
// windows will get frames.
bool windowManagerRunning(bool onX11);

// The frame a window manager has put around this X window
// (_NET_FRAME_EXTENTS), in device pixels; nothing until it has framed it.
std::optional<FrameExtents> frameExtents(unsigned long xWindow);

}  // namespace tesmic
