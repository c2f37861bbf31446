#include "ui/screen_area.h"

#include <algorithm>
#include <optional>
#include <vector>

// Qt's headers before Xlib's, whose macros (Bool, Status) they would meet.
#include <QCursor>
#include <QGuiApplication>
#include <QRect>
#include <QScreen>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/extensions/Xrandr.h>

namespace tesmic {
namespace {

constexpr ScreenArea kUnbounded{0, 0, 1 << 15, 1 << 15};

// Less room than this is no work area but a wrong one (another client may
// write any values there).
constexpr int kLeastUsableWidth = 320;
constexpr int kLeastUsableHeight = 240;

struct Monitor {
  QRect rect;  // device pixels
  bool primary = false;
};

// The active RandR monitors. Any client may define monitors, so each is
// checked: a positive size that fits in an int rectangle.
std::vector<Monitor> randrMonitors() {
  std::vector<Monitor> monitors;
  Display* display = XOpenDisplay(nullptr);
  if (display == nullptr) return monitors;
  int eventBase = 0;
  int errorBase = 0;
  int major = 0;
  int minor = 0;
  if (XRRQueryExtension(display, &eventBase, &errorBase) &&
      XRRQueryVersion(display, &major, &minor) && (major > 1 || (major == 1 && minor >= 5))) {
    int count = 0;
    XRRMonitorInfo* list = XRRGetMonitors(display, DefaultRootWindow(display), True, &count);
    for (int i = 0; list != nullptr && i < count; ++i) {
      const XRRMonitorInfo& m = list[i];
      if (m.width <= 0 || m.height <= 0 || m.width > (1 << 16) || m.height > (1 << 16) ||
          m.x < -(1 << 16) || m.y < -(1 << 16) || m.x > (1 << 16) || m.y > (1 << 16)) {
        continue;
      }
      monitors.push_back({QRect(m.x, m.y, m.width, m.height), m.primary != 0});
    }
    if (list != nullptr) XRRFreeMonitors(list);
  }
  XCloseDisplay(display);
  return monitors;
}

// The 32-bit values of a window's property when it has the type and count
// asked for: anything another client wrote is checked before use.
std::optional<std::vector<unsigned long>> property32(Display* display, Window window,
                                                     const char* name, Atom type,
                                                     unsigned long count) {
  const Atom property = XInternAtom(display, name, True);
  if (property == None) return std::nullopt;
  Atom actualType = None;
  int format = 0;
  unsigned long got = 0;
  unsigned long after = 0;
  unsigned char* data = nullptr;
  std::optional<std::vector<unsigned long>> values;
  if (XGetWindowProperty(display, window, property, 0, static_cast<long>(count), False, type,
                         &actualType, &format, &got, &after, &data) == Success &&
      actualType == type && format == 32 && got == count && after == 0 && data != nullptr) {
    // Format 32 comes as long, of which only the low 32 bits are the value.
    const unsigned long* longs = reinterpret_cast<const unsigned long*>(data);
    values.emplace();
    for (unsigned long i = 0; i < count; ++i) values->push_back(longs[i] & 0xFFFFFFFFul);
  }
  if (data != nullptr) XFree(data);
  return values;
}

// Qt keeps a screen's top left corner and divides the rest by its scale.
QRect logicalOf(const QRect& device, const QScreen& screen) {
  const double scale = screen.devicePixelRatio();
  const QPoint origin = screen.geometry().topLeft();
  const auto logical = [&](const QPoint& p) { return origin + QPointF(p - origin) / scale; };
  const QPoint end = device.topLeft() + QPoint(device.width(), device.height());
  return QRectF(logical(device.topLeft()), logical(end)).toAlignedRect() & screen.geometry();
}

// The RandR monitor on this screen under the pointer, else the primary one,
// else the first; logical pixels.
std::optional<QRect> monitorOn(const QScreen& screen, const QPoint& pointer, bool onX11) {
  std::vector<Monitor> monitors;
  if (onX11) monitors = randrMonitors();
  std::optional<QRect> chosen;
  bool chosenPrimary = false;
  for (const Monitor& monitor : monitors) {
    const QRect logical = logicalOf(monitor.rect, screen);
    if (logical.width() < kLeastUsableWidth || logical.height() < kLeastUsableHeight) continue;
    if (logical.contains(pointer)) return logical;
    if (!chosen || (monitor.primary && !chosenPrimary)) {
      chosen = logical;
      chosenPrimary = monitor.primary;
    }
  }
  return chosen;
}

}  // namespace

ScreenArea usableScreenArea(bool onX11) {
  const QPoint pointer = QCursor::pos();
  QScreen* screen = QGuiApplication::screenAt(pointer);
  if (screen == nullptr) screen = QGuiApplication::primaryScreen();
  if (screen == nullptr || screen->geometry().isEmpty()) return kUnbounded;

  const QRect monitor = monitorOn(*screen, pointer, onX11).value_or(screen->geometry());
  QRect area = monitor & screen->availableGeometry();
  if (area.width() < kLeastUsableWidth || area.height() < kLeastUsableHeight) area = monitor;
  return {area.x(), area.y(), area.width(), area.height()};
}

bool windowManagerRunning(bool onX11) {
  if (!onX11) return false;
  Display* display = XOpenDisplay(nullptr);
  if (display == nullptr) return false;
  const auto check = property32(display, DefaultRootWindow(display), "_NET_SUPPORTING_WM_CHECK",
                                XA_WINDOW, 1);
  const bool running = check && (*check)[0] != 0;
  XCloseDisplay(display);
  return running;
}

std::optional<FrameExtents> frameExtents(unsigned long xWindow) {
  Display* display = XOpenDisplay(nullptr);
  if (display == nullptr) return std::nullopt;
  const auto values = property32(display, xWindow, "_NET_FRAME_EXTENTS", XA_CARDINAL, 4);
  XCloseDisplay(display);
  // Left, right, top, bottom; a frame wider than this is no frame.
  constexpr unsigned long kWidest = 1000;
  if (!values ||
      std::any_of(values->begin(), values->end(), [](unsigned long v) { return v > kWidest; })) {
    return std::nullopt;
  }
  const auto side = [&](int i) { return static_cast<int>((*values)[i]); };
  return FrameExtents{side(0), side(2), side(1), side(3)};
}

}  // namespace tesmic
