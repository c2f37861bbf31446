#include "x_server.h"

#include <X11/XKBlib.h>
#include <X11/Xatom.h>
#include <X11/keysym.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>

#include <bit>
#include <csignal>
#include <stdexcept>
#include <string_view>
#include <thread>

namespace tesmic::test {
namespace {

using Clock = std::chrono::steady_clock;

constexpr auto kStartTimeout = std::chrono::seconds(15);
constexpr auto kPollInterval = std::chrono::milliseconds(20);

// The program under test may close its windows at any moment, so a request
// about a window can fail with BadWindow; Xlib's default would end the test.
int errorCount = 0;

int countError(Display*, XErrorEvent*) {
  ++errorCount;
  return 0;
}

// Whether the requests made since the last call all succeeded.
class ErrorCheck {
 public:
  explicit ErrorCheck(Display* display) : display_(display) {
    XSync(display_, False);
    before_ = errorCount;
  }
  bool ok() {
    XSync(display_, False);
    return errorCount == before_;
  }

 private:
  Display* display_;
  int before_;
};

std::optional<Window> searchTitle(Display* display, Window window, const std::string& title,
                                  TitleMatch how) {
  char* name = nullptr;
  if (XFetchName(display, window, &name) != 0 && name != nullptr) {
    const std::string_view found(name);
    const bool match = how == TitleMatch::kWhole ? found == title : found.starts_with(title);
    XFree(name);
    if (match) return window;
  }
  Window root = 0;
  Window parent = 0;
  Window* children = nullptr;
  unsigned int count = 0;
  if (XQueryTree(display, window, &root, &parent, &children, &count) == 0) return std::nullopt;
  std::optional<Window> found;
  for (unsigned int i = 0; i < count && !found; ++i) {
    found = searchTitle(display, children[i], title, how);
  }
  if (children != nullptr) XFree(children);
  return found;
}

// A colour channel of a pixel scaled to 8 bits, whatever the visual's mask.
unsigned char channel(unsigned long pixel, unsigned long mask) {
  if (mask == 0) return 0;
  const int shift = std::countr_zero(mask);
  const unsigned long max = mask >> shift;
  return static_cast<unsigned char>(((pixel & mask) >> shift) * 255 / max);
}

// Presses the key with the modifiers held, in the order a hand would.
void sendKey(Display* display, unsigned long keysym, unsigned int modifiers = 0) {
  std::vector<KeyCode> held;
  if (modifiers & ControlMask) held.push_back(XKeysymToKeycode(display, XK_Control_L));
  if (modifiers & ShiftMask) held.push_back(XKeysymToKeycode(display, XK_Shift_L));
  for (const KeyCode code : held) XTestFakeKeyEvent(display, code, True, CurrentTime);
  const KeyCode code = XKeysymToKeycode(display, keysym);
  XTestFakeKeyEvent(display, code, True, CurrentTime);
  XTestFakeKeyEvent(display, code, False, CurrentTime);
  for (auto it = held.rbegin(); it != held.rend(); ++it) {
    XTestFakeKeyEvent(display, *it, False, CurrentTime);
  }
  XSync(display, False);
}

}  // namespace

XServer::XServer(cv::Size screen) {
  ChildOptions options;
  options.argv = {"Xvfb",      "-displayfd", "1",   "-screen",
                  "0",         std::to_string(screen.width) + "x" + std::to_string(screen.height) + "x24",
                  "-nolisten", "tcp",        "-noreset"};
  options.stderrMode = OutputMode::kDiscard;
  process_ = std::make_unique<ChildProcess>(options);

  // The server writes its display number once it accepts connections.
  const std::optional<std::string> number = process_->readFirstStdoutLine(kStartTimeout);
  if (!number || number->empty()) throw std::runtime_error("Xvfb did not report a display");
  displayName_ = ":" + *number;

  XSetErrorHandler(countError);
  const auto deadline = Clock::now() + kStartTimeout;
  while ((display_ = XOpenDisplay(displayName_.c_str())) == nullptr) {
    if (Clock::now() >= deadline) {
      throw std::runtime_error("cannot connect to Xvfb on " + displayName_);
    }
    std::this_thread::sleep_for(kPollInterval);
  }
  int event = 0;
  int error = 0;
  int major = 0;
  int minor = 0;
  if (!XTestQueryExtension(display_, &event, &error, &major, &minor)) {
    XCloseDisplay(display_);
    throw std::runtime_error("Xvfb lacks the XTEST extension");
  }
}

void XServer::freeze() { ::kill(process_->pid(), SIGSTOP); }

void XServer::thaw() { ::kill(process_->pid(), SIGCONT); }

void XServer::crash() {
  process_->kill();
  display_ = nullptr;
}

XServer::~XServer() {
  thaw();
  if (display_ != nullptr) XCloseDisplay(display_);
  // Terminated rather than killed, so that it removes its lock and socket.
  process_->terminate(std::chrono::seconds(5));
}

bool displayReachable(const std::string& name) {
  Display* display = XOpenDisplay(name.c_str());
  if (display == nullptr) return false;
  XCloseDisplay(display);
  return true;
}

std::optional<Window> findWindowByTitle(Display* display, const std::string& title,
                                        TitleMatch match) {
  ErrorCheck check(display);
  std::optional<Window> found = searchTitle(display, DefaultRootWindow(display), title, match);
  // A window that vanished during the walk may have hidden the one sought;
  // the caller asks again.
  return check.ok() ? found : std::nullopt;
}

std::optional<Window> waitForMappedWindow(Display* display, const std::string& title,
                                          std::chrono::milliseconds timeout, TitleMatch match) {
  const auto deadline = Clock::now() + timeout;
  for (;;) {
    if (const std::optional<Window> window = findWindowByTitle(display, title, match)) {
      ErrorCheck check(display);
      XWindowAttributes attributes;
      if (XGetWindowAttributes(display, *window, &attributes) != 0 && check.ok() &&
          attributes.map_state == IsViewable) {
        return window;
      }
    }
    if (Clock::now() >= deadline) return std::nullopt;
    std::this_thread::sleep_for(kPollInterval);
  }
}

cv::Rect windowRect(Display* display, Window window) {
  ErrorCheck check(display);
  XWindowAttributes attributes;
  if (XGetWindowAttributes(display, window, &attributes) == 0 || !check.ok()) return {};
  int x = 0;
  int y = 0;
  Window child = 0;
  XTranslateCoordinates(display, window, attributes.root, 0, 0, &x, &y, &child);
  return check.ok() ? cv::Rect(x, y, attributes.width, attributes.height) : cv::Rect();
}

void pointAt(Display* display, Window window, cv::Point point, int clicks) {
  const cv::Rect rect = windowRect(display, window);
  XTestFakeMotionEvent(display, DefaultScreen(display), rect.x + point.x, rect.y + point.y,
                       CurrentTime);
  for (int i = 0; i < clicks; ++i) {
    XTestFakeButtonEvent(display, 1, True, CurrentTime);
    XTestFakeButtonEvent(display, 1, False, CurrentTime);
  }
  XSync(display, False);
}

void raiseWindow(Display* display, Window window) {
  ErrorCheck check(display);
  XRaiseWindow(display, window);
  check.ok();
}

cv::Mat readWindowPixels(Display* display, Window window) {
  ErrorCheck check(display);
  XWindowAttributes attributes;
  if (XGetWindowAttributes(display, window, &attributes) == 0 || !check.ok()) return {};
  XImage* image = XGetImage(display, window, 0, 0, static_cast<unsigned>(attributes.width),
                            static_cast<unsigned>(attributes.height), AllPlanes, ZPixmap);
  if (!check.ok() || image == nullptr) {
    if (image != nullptr) XDestroyImage(image);
    return {};
  }
  cv::Mat pixels(attributes.height, attributes.width, CV_8UC3);
  for (int y = 0; y < pixels.rows; ++y) {
    for (int x = 0; x < pixels.cols; ++x) {
      const unsigned long value = XGetPixel(image, x, y);
      pixels.at<cv::Vec3b>(y, x) = {channel(value, image->blue_mask),
                                    channel(value, image->green_mask),
                                    channel(value, image->red_mask)};
    }
  }
  XDestroyImage(image);
  return pixels;
}

bool pressKeyOn(Display* display, Window window, unsigned long keysym, unsigned int modifiers) {
  ErrorCheck check(display);
  XWindowAttributes attributes;
  if (XGetWindowAttributes(display, window, &attributes) == 0 || !check.ok()) return false;
  int x = 0;
  int y = 0;
  Window child = 0;
  XTranslateCoordinates(display, window, attributes.root, attributes.width / 2,
                        attributes.height / 2, &x, &y, &child);
  XTestFakeMotionEvent(display, DefaultScreen(display), x, y, CurrentTime);
  XSetInputFocus(display, window, RevertToPointerRoot, CurrentTime);
  if (!check.ok()) return false;
  sendKey(display, keysym, modifiers);
  return true;
}

void typeText(Display* display, const std::string& text) {
  for (const char c : text) {
    KeySym keysym = NoSymbol;
    if (c == '\n') {
      keysym = XK_Return;
    } else {
      // Latin-1 keysyms equal their character codes.
      keysym = static_cast<unsigned char>(c);
    }
    const KeyCode code = XKeysymToKeycode(display, keysym);
    const bool shifted = XkbKeycodeToKeysym(display, code, 0, 0) != keysym;
    sendKey(display, keysym, shifted ? ShiftMask : 0);
  }
}

void pressKeyOnNothing(Display* display, unsigned long keysym) {
  // The far corner of the large screen lies outside every test window.
  XTestFakeMotionEvent(display, DefaultScreen(display), DisplayWidth(display, 0) - 1,
                       DisplayHeight(display, 0) - 1, CurrentTime);
  XSetInputFocus(display, PointerRoot, RevertToPointerRoot, CurrentTime);
  sendKey(display, keysym);
}

bool requestClose(Display* display, Window window) {
  ErrorCheck check(display);
  XEvent event{};
  event.xclient.type = ClientMessage;
  event.xclient.window = window;
  event.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
  event.xclient.format = 32;
  event.xclient.data.l[0] = static_cast<long>(XInternAtom(display, "WM_DELETE_WINDOW", False));
  event.xclient.data.l[1] = CurrentTime;
  XSendEvent(display, window, False, NoEventMask, &event);
  return check.ok();
}

WindowCreationWatch::WindowCreationWatch(Display* display) : display_(display) {
  XSelectInput(display_, DefaultRootWindow(display_), SubstructureNotifyMask);
  XSync(display_, False);
}

WindowCreationWatch::~WindowCreationWatch() {
  XSelectInput(display_, DefaultRootWindow(display_), NoEventMask);
  XSync(display_, True);  // drops the events nobody asked for
}

const std::vector<Window>& WindowCreationWatch::created() {
  XSync(display_, False);
  while (XPending(display_) > 0) {
    XEvent event;
    XNextEvent(display_, &event);
    if (event.type == CreateNotify) created_.push_back(event.xcreatewindow.window);
  }
  return created_;
}

}  // namespace tesmic::test
