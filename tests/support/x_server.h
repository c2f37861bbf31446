// A private X server (Xvfb) for window tests, and the Xlib steps a user or a
// window manager would take on the windows of the program under test.
#pragma once

#include <X11/Xlib.h>

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <opencv2/core/mat.hpp>

#include "child_process.h"

namespace tesmic::test {

// Starts Xvfb on a display number it picks itself (-displayfd), with a screen
// large enough for any test window to lie wholly on it, and keeps one
// connection to it for the test. X errors on that connection (a window that
// vanished meanwhile, say) are counted, not fatal. Throws std::runtime_error
// when the server does not come up.
class XServer {
 public:
  XServer();
  ~XServer();
  XServer(const XServer&) = delete;
  XServer& operator=(const XServer&) = delete;

  // The value of DISPLAY for programs that should use this server, ":N".
  const std::string& displayName() const { return displayName_; }
  Display* display() const { return display_; }

 private:
  std::unique_ptr<ChildProcess> process_;
  std::string displayName_;
  Display* display_ = nullptr;
};

// True when a client can connect to the display with this name.
bool displayReachable(const std::string& name);

// The first window, searched down from the root, whose WM_NAME is title.
std::optional<Window> findWindowByTitle(Display* display, const std::string& title);

// Waits until a window with this title exists and is viewable.
std::optional<Window> waitForMappedWindow(Display* display, const std::string& title,
                                          std::chrono::milliseconds timeout);

// Puts the window on top of its siblings, so that it can be read back whole.
void raiseWindow(Display* display, Window window);

// The window's pixels as the server shows them, 8-bit BGR; empty when the
// window cannot be read (gone, unmapped, partly off screen).
cv::Mat readWindowPixels(Display* display, Window window);

// Presses and releases a key through XTest with the pointer over the window
// and the input focus on it, as a user would. False when the window is gone.
bool pressKeyOn(Display* display, Window window, unsigned long keysym);

// Presses and releases a key with no window under the pointer or in focus.
void pressKeyOnNothing(Display* display, unsigned long keysym);

// Asks the window to close as a window manager's close button does
// (WM_PROTOCOLS / WM_DELETE_WINDOW). False when the window is gone.
bool requestClose(Display* display, Window window);

// Records every top-level window created on the server while it exists, in
// the order of creation, whoever creates it.
class WindowCreationWatch {
 public:
  explicit WindowCreationWatch(Display* display);
  ~WindowCreationWatch();
  WindowCreationWatch(const WindowCreationWatch&) = delete;
  WindowCreationWatch& operator=(const WindowCreationWatch&) = delete;

  // All windows created so far, oldest first.
  const std::vector<Window>& created();

 private:
  Display* display_;
  std::vector<Window> created_;
};

}  // namespace tesmic::test
