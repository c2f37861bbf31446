#include "x_server.h"

#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <X11/extensions/Xrandr.h>
#include <xcb/xcb.h>

#include <bit>
#include <csignal>
#include <cstdlib>
#include <map>
#include <stdexcept>
#include <thread>

extern "C" {
#include <xdo.h>
}

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

// libxdo's handles, one per connection, made when first needed.
std::map<Display*, xdo_t*>& xdoHandles() {
  static std::map<Display*, xdo_t*> handles;
  return handles;
}

const xdo_t* xdoFor(Display* display) {
  xdo_t*& handle = xdoHandles()[display];
  if (handle == nullptr) handle = xdo_new_with_opened_display(display, nullptr, 0);
  return handle;
}

// Before the connection goes; the handle does not close it.
void forgetXdo(Display* display) {
  const auto it = xdoHandles().find(display);
  if (it == xdoHandles().end()) return;
  xdo_free(it->second);
  xdoHandles().erase(it);
}

bool titleMatches(const std::string& name, const std::string& title, TitleMatch match) {
  return match == TitleMatch::kWhole ? name == title : name.starts_with(title);
}

// _NET_WM_NAME (UTF-8) where the window has one, else WM_NAME.
std::string windowTitle(Display* display, Window window) {
  Atom type = None;
  int format = 0;
  unsigned long count = 0;
  unsigned long after = 0;
  unsigned char* data = nullptr;
  std::string title;
  if (XGetWindowProperty(display, window, XInternAtom(display, "_NET_WM_NAME", False), 0, 1024,
                         False, XInternAtom(display, "UTF8_STRING", False), &type, &format,
                         &count, &after, &data) == Success &&
      data != nullptr && format == 8) {
    title.assign(reinterpret_cast<const char*>(data), count);
  }
  if (data != nullptr) XFree(data);
  if (!title.empty()) return title;
  char* name = nullptr;
  if (XFetchName(display, window, &name) != 0 && name != nullptr) title = name;
  if (name != nullptr) XFree(name);
  return title;
}

// The first viewable window under this one (itself included) with the
// title. Windows may vanish meanwhile (a window manager's frames, an
// ending run): their errors are counted by the handler and they are
// skipped. Walked here rather than by libxdo, whose search frees memory
// twice when a window vanishes under it.
std::optional<Window> findViewable(Display* display, Window window, const std::string& title,
                                   TitleMatch match) {
  XWindowAttributes attributes;
  if (XGetWindowAttributes(display, window, &attributes) == 0 ||
      attributes.map_state != IsViewable) {
    return std::nullopt;
  }
  if (titleMatches(windowTitle(display, window), title, match)) return window;
  Window root = 0;
  Window parent = 0;
  Window* children = nullptr;
  unsigned int count = 0;
  std::optional<Window> found;
  if (XQueryTree(display, window, &root, &parent, &children, &count) != 0) {
    for (unsigned int i = 0; i < count && !found; ++i) {
      found = findViewable(display, children[i], title, match);
    }
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

}  // namespace

XServer::XServer(cv::Size screen, XServerSetup setup) {
  ChildOptions options;
  options.argv = {"sh", TESMIC_START_XVFB,
                  std::to_string(screen.width) + "x" + std::to_string(screen.height),
                  std::to_string(setup.depth)};
  if (setup.resetsWhenIdle) options.argv.push_back("reset");
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
  if (setup.resetsWhenIdle) {
    XCloseDisplay(display_);
    display_ = nullptr;
  }
}

void XServer::freeze() { ::kill(process_->pid(), SIGSTOP); }

void XServer::thaw() { ::kill(process_->pid(), SIGCONT); }

void XServer::crash() {
  process_->kill();
  forgetXdo(display_);
  display_ = nullptr;
}

XServer::~XServer() {
  thaw();
  if (display_ != nullptr) {
    forgetXdo(display_);
    XCloseDisplay(display_);
  }
  // Terminated rather than killed, so that it removes its lock and socket.
  process_->terminate(std::chrono::seconds(5));
}

namespace {

// The 32-bit values of a property, as Xlib hands them (one long each).
std::vector<unsigned long> property32(Display* display, Window window, const char* name) {
  std::vector<unsigned long> values;
  ErrorCheck check(display);
  Atom type = None;
  int format = 0;
  unsigned long count = 0;
  unsigned long after = 0;
  unsigned char* data = nullptr;
  if (XGetWindowProperty(display, window, XInternAtom(display, name, False), 0, 64, False,
                         AnyPropertyType, &type, &format, &count, &after, &data) == Success &&
      format == 32 && data != nullptr) {
    const unsigned long* longs = reinterpret_cast<const unsigned long*>(data);
    values.assign(longs, longs + count);
  }
  if (data != nullptr) XFree(data);
  check.ok();
  return values;
}

}  // namespace

Desktop::Desktop(const XServer& server) {
  const auto start = [&server](std::vector<std::string> argv) {
    ChildOptions options;
    options.argv = std::move(argv);
    options.environment = {{"DISPLAY", server.displayName()}};
    options.stdoutMode = OutputMode::kDiscard;
    options.stderrMode = OutputMode::kDiscard;
    return std::make_unique<ChildProcess>(options);
  };
  Display* display = server.display();
  const Window root = DefaultRootWindow(display);
  const auto deadline = Clock::now() + kStartTimeout;
  const auto await = [&](auto ready, const char* what) {
    while (!ready()) {
      if (Clock::now() >= deadline) throw std::runtime_error(std::string(what) + " did not start");
      std::this_thread::sleep_for(kPollInterval);
    }
  };
  windowManager_ = start({"openbox", "--sm-disable"});
  await([&] { return !property32(display, root, "_NET_SUPPORTING_WM_CHECK").empty(); }, "openbox");
  panel_ = start({"tint2"});
  await([&] {
    const std::vector<unsigned long> area = property32(display, root, "_NET_WORKAREA");
    return area.size() >= 4 && area[3] < unsigned(DisplayHeight(display, 0));
  }, "tint2");
}

Desktop::~Desktop() {
  panel_->terminate(std::chrono::seconds(5));
  windowManager_->terminate(std::chrono::seconds(5));
}

void setMonitors(Display* display, const std::vector<cv::Rect>& monitors) {
  const Window root = DefaultRootWindow(display);
  XRRScreenResources* resources = XRRGetScreenResources(display, root);
  for (std::size_t i = 0; i < monitors.size(); ++i) {
    // The first takes the screen's one output, which ends the monitor the
    // server made for that output.
    const bool first = i == 0 && resources != nullptr && resources->noutput > 0;
    XRRMonitorInfo* info = XRRAllocateMonitor(display, first ? 1 : 0);
    if (first) info->outputs[0] = resources->outputs[0];
    info->name = XInternAtom(display, ("tesmic-" + std::to_string(i)).c_str(), False);
    info->primary = i == 0;
    info->automatic = False;
    info->x = monitors[i].x;
    info->y = monitors[i].y;
    info->width = monitors[i].width;
    info->height = monitors[i].height;
    info->mwidth = monitors[i].width / 4;  // about 100 dpi
    info->mheight = monitors[i].height / 4;
    XRRSetMonitor(display, root, info);
    XRRFreeMonitors(info);
  }
  if (resources != nullptr) XRRFreeScreenResources(resources);
  XSync(display, False);
}

void setRootProperty(Display* display, const char* name, const char* type,
                     const std::vector<unsigned long>& values) {
  std::vector<long> longs(values.begin(), values.end());  // format 32 goes as long
  XChangeProperty(display, DefaultRootWindow(display), XInternAtom(display, name, False),
                  XInternAtom(display, type, False), 32, PropModeReplace,
                  reinterpret_cast<const unsigned char*>(longs.data()), int(longs.size()));
  XSync(display, False);
}

cv::Rect frameRect(Display* display, Window window) {
  const cv::Rect rect = windowRect(display, window);
  const std::vector<unsigned long> e = property32(display, window, "_NET_FRAME_EXTENTS");
  if (rect.empty() || e.size() != 4) return rect;
  // Left, right, top, bottom.
  return {rect.x - int(e[0]), rect.y - int(e[2]), rect.width + int(e[0] + e[1]),
          rect.height + int(e[2] + e[3])};
}

bool displayReachable(const std::string& name) {
  Display* display = XOpenDisplay(name.c_str());
  if (display == nullptr) return false;
  XCloseDisplay(display);
  return true;
}

ChurningClient::ChurningClient(const std::string& displayName)
    : thread_([this, displayName] {
        // xcb rather than Xlib: a connection the server drops is an error
        // to look at, not the end of the test process. For the same reason
        // a write to a connection the server has just dropped must fail with
        // EPIPE here rather than raise SIGPIPE in the whole test process.
        sigset_t pipe;
        sigemptyset(&pipe);
        sigaddset(&pipe, SIGPIPE);
        pthread_sigmask(SIG_BLOCK, &pipe, nullptr);
        while (!stop_.load()) {
          xcb_connection_t* connection = xcb_connect(displayName.c_str(), nullptr);
          if (xcb_connection_has_error(connection) == 0) {
            std::free(xcb_get_input_focus_reply(connection, xcb_get_input_focus(connection),
                                                nullptr));
            visits_.fetch_add(1);
          }
          xcb_disconnect(connection);
          std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
      }) {}

ChurningClient::~ChurningClient() {
  stop_.store(true);
  thread_.join();
}

std::optional<Window> waitForMappedWindow(Display* display, const std::string& title,
                                          std::chrono::milliseconds timeout, TitleMatch match) {
  const auto deadline = Clock::now() + timeout;
  for (;;) {
    const std::optional<Window> window =
        findViewable(display, DefaultRootWindow(display), title, match);
    if (window || Clock::now() >= deadline) return window;
    std::this_thread::sleep_for(kPollInterval);
  }
}

bool waitForFocusedWindow(Display* display, const std::string& title,
                          std::chrono::milliseconds timeout, TitleMatch match) {
  const auto deadline = Clock::now() + timeout;
  const std::optional<Window> window = waitForMappedWindow(display, title, timeout, match);
  if (!window) return false;
  for (;;) {
    Window focus = 0;
    int revert = 0;
    XGetInputFocus(display, &focus, &revert);
    if (focus == *window) return true;
    if (Clock::now() >= deadline) return false;
    std::this_thread::sleep_for(kPollInterval);
  }
}

cv::Rect windowRect(Display* display, Window window) {
  // Asked of the server: libxdo counts a reparented window's offset twice.
  ErrorCheck check(display);
  XWindowAttributes attributes;
  int x = 0;
  int y = 0;
  Window child = 0;
  if (XGetWindowAttributes(display, window, &attributes) == 0 ||
      !XTranslateCoordinates(display, window, attributes.root, 0, 0, &x, &y, &child) ||
      !check.ok()) {
    return {};
  }
  return {x, y, attributes.width, attributes.height};
}

void pointAt(Display* display, Window window, cv::Point point, int clicks) {
  const cv::Point onScreen = windowRect(display, window).tl() + point;
  xdo_move_mouse(xdoFor(display), onScreen.x, onScreen.y, 0);
  for (int i = 0; i < clicks; ++i) xdo_click_window(xdoFor(display), CURRENTWINDOW, 1);
  XSync(display, False);
}

void dragOver(Display* display, Window window, cv::Point from, cv::Point to,
              const char* modifiers) {
  const cv::Point corner = windowRect(display, window).tl();
  const xdo_t* xdo = xdoFor(display);
  const auto moveTo = [&](cv::Point p) {
    xdo_move_mouse(xdo, corner.x + p.x, corner.y + p.y, 0);
    XSync(display, False);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  };
  moveTo(from);
  xdo_send_keysequence_window_down(xdo, CURRENTWINDOW, modifiers, 0);
  xdo_mouse_down(xdo, CURRENTWINDOW, 1);
  constexpr int kSteps = 5;
  for (int step = 1; step <= kSteps; ++step) moveTo(from + (to - from) * step / kSteps);
  xdo_mouse_up(xdo, CURRENTWINDOW, 1);
  xdo_send_keysequence_window_up(xdo, CURRENTWINDOW, modifiers, 0);
  XSync(display, False);
}

void raiseWindow(Display* display, Window window) {
  ErrorCheck check(display);
  xdo_raise_window(xdoFor(display), window);
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

bool pressKeyOn(Display* display, Window window, const char* keys) {
  ErrorCheck check(display);
  const cv::Rect rect = windowRect(display, window);
  if (rect.empty()) return false;
  pointAt(display, window, {rect.width / 2, rect.height / 2});
  xdo_focus_window(xdoFor(display), window);
  if (!check.ok()) return false;
  pressKeys(display, keys);
  return true;
}

void pressKeyOnNothing(Display* display, const char* keys) {
  // The far corner of the large screen lies outside every test window.
  xdo_move_mouse(xdoFor(display), DisplayWidth(display, 0) - 1, DisplayHeight(display, 0) - 1, 0);
  XSetInputFocus(display, PointerRoot, RevertToPointerRoot, CurrentTime);
  pressKeys(display, keys);
}

void pressKeys(Display* display, const char* keys) {
  xdo_send_keysequence_window(xdoFor(display), CURRENTWINDOW, keys, 0);
  XSync(display, False);
}

// Sent to the current window, libxdo goes through XTest, as a keyboard
// would; to a named one it sends events that Qt ignores.
void typeText(Display* display, const std::string& text) {
  xdo_enter_text_window(xdoFor(display), CURRENTWINDOW, text.c_str(), 12000);
  XSync(display, False);
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

void WindowCreationWatch::collect() {
  XSync(display_, False);
  while (XPending(display_) > 0) {
    XEvent event;
    XNextEvent(display_, &event);
    if (event.type == CreateNotify) created_.push_back(event.xcreatewindow.window);
    if (event.type == MapNotify) shown_.push_back(event.xmap.window);
  }
}

const std::vector<Window>& WindowCreationWatch::created() {
  collect();
  return created_;
}

const std::vector<Window>& WindowCreationWatch::shown() {
  collect();
  return shown_;
}

}  // namespace tesmic::test
