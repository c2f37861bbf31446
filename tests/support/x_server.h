// A private X server (Xvfb) for window tests, and what a user or a window
// manager does to the windows of the program under test: find them, point,
// click, type, close, and read back what they show.
#pragma once

#include <X11/Xlib.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <opencv2/core/mat.hpp>

#include "child_process.h"

namespace tesmic::test {

// What kind of X server to start, beyond its screen's size.
struct XServerSetup {
  int depth = 24;  // bits per pixel of the screen; 8 gives a palette (PseudoColor)
  // The server resets whenever its last client leaves (Xvfb's own default).
  // The test then keeps no connection to it: display() is null.
  bool resetsWhenIdle = false;
};

// Starts Xvfb through scripts/start-xvfb.sh (the one way this project starts
// it), by default with a screen large enough for any test window to lie
// wholly on it, and keeps one connection to it for the test. X errors on
// that connection (a window that vanished meanwhile, say) are counted, not
// fatal. Throws std::runtime_error when the server does not come up.
class XServer {
 public:
  explicit XServer(cv::Size screen = {4000, 3000}, XServerSetup setup = {});
  ~XServer();
  XServer(const XServer&) = delete;
  XServer& operator=(const XServer&) = delete;

  // The value of DISPLAY for programs that should use this server, ":N".
  const std::string& displayName() const { return displayName_; }
  Display* display() const { return display_; }

  // Stops the server (SIGSTOP) or lets it go on: stopped, it accepts
  // connections and never answers. The test's own connection must not be
  // used meanwhile.
  void freeze();
  void thaw();

  // Kills the server at once, as a crash would. Its connection is dropped
  // unused: Xlib would end the test process on the broken connection.
  void crash();

 private:
  std::unique_ptr<ChildProcess> process_;
  std::string displayName_;
  Display* display_ = nullptr;
};

// A window manager (openbox) with a panel along the bottom edge that
// reserves room for itself (tint2), on the server, as on a real desktop.
// Throws std::runtime_error when they do not come up with a work area
// smaller than the screen.
class Desktop {
 public:
  explicit Desktop(const XServer& server);
  ~Desktop();
  Desktop(const Desktop&) = delete;
  Desktop& operator=(const Desktop&) = delete;

 private:
  std::unique_ptr<ChildProcess> windowManager_;
  std::unique_ptr<ChildProcess> panel_;
};

// Replaces the server's monitors (RandR 1.5) by these, the first the
// primary; together they should cover the screen.
void setMonitors(Display* display, const std::vector<cv::Rect>& monitors);

// Sets a property of the root window to 32-bit values of the type named
// (CARDINAL, STRING, ...), as any client may.
void setRootProperty(Display* display, const char* name, const char* type,
                     const std::vector<unsigned long>& values);

// The window's place with the frame its window manager put around it
// (_NET_FRAME_EXTENTS); the window's own without one.
cv::Rect frameRect(Display* display, Window window);

// True when a client can connect to the display with this name.
bool displayReachable(const std::string& name);

// Another client of the display that connects, makes a round trip and
// leaves, over and over, on a thread of its own while the object exists.
// On a server that resets when idle, each of its leavings may reset it.
class ChurningClient {
 public:
  explicit ChurningClient(const std::string& displayName);
  ~ChurningClient();
  ChurningClient(const ChurningClient&) = delete;
  ChurningClient& operator=(const ChurningClient&) = delete;

  // How many times it has connected and left so far.
  int visits() const { return visits_.load(); }

 private:
  std::atomic<bool> stop_{false};
  std::atomic<int> visits_{0};
  std::thread thread_;
};

enum class TitleMatch { kWhole, kStart };

// Waits until a window with this title (or, with TitleMatch::kStart, one
// whose title begins with it) exists and is viewable.
std::optional<Window> waitForMappedWindow(Display* display, const std::string& title,
                                          std::chrono::milliseconds timeout,
                                          TitleMatch match = TitleMatch::kWhole);

// Waits until a window with this title is viewable and holds the input
// focus, so that keys typed next reach it (a box that maps before it takes
// the focus would lose the first of them).
bool waitForFocusedWindow(Display* display, const std::string& title,
                          std::chrono::milliseconds timeout, TitleMatch match = TitleMatch::kWhole);

// The window's place on the screen and its size; empty when it is gone.
cv::Rect windowRect(Display* display, Window window);

// Moves the pointer over the point of the window, as a hand on the mouse
// would, and with clicks > 0 clicks the first button that many times.
void pointAt(Display* display, Window window, cv::Point point, int clicks = 0);

// Drags the pointer with the first button held from one point of the
// window to another, in steps, with the modifier keys (xdotool's names:
// "shift", "ctrl+shift") held from before the press to after the release.
void dragOver(Display* display, Window window, cv::Point from, cv::Point to,
              const char* modifiers);

// Puts the window on top of its siblings, so that it can be read back whole.
void raiseWindow(Display* display, Window window);

// The window's pixels as the server shows them, 8-bit BGR; empty when the
// window cannot be read (gone, unmapped, partly off screen).
cv::Mat readWindowPixels(Display* display, Window window);

// Presses keys (xdotool's names: "q", "ctrl+s", "Return") with the pointer
// over the window and the input focus on it, as a user would. False when the
// window is gone.
bool pressKeyOn(Display* display, Window window, const char* keys);

// Presses keys with no window under the pointer or in focus.
void pressKeyOnNothing(Display* display, const char* keys);

// Types the text, or presses keys, into whatever has the input focus.
void typeText(Display* display, const std::string& text);
void pressKeys(Display* display, const char* keys);

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
  // Those of them mapped, shown on the screen: a toolkit's connection makes
  // hidden windows of its own.
  const std::vector<Window>& shown();

 private:
  void collect();

  Display* display_;
  std::vector<Window> created_;
  std::vector<Window> shown_;
};

}  // namespace tesmic::test
