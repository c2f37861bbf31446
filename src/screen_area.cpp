#include "screen_area.h"

#if defined(TESMIC_HAVE_X11)
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#endif

#include <optional>
#include <vector>

namespace tesmic {
namespace {

constexpr ScreenArea kUnbounded{0, 0, 1 << 15, 1 << 15};

#if defined(TESMIC_HAVE_X11)
// The CARDINAL values of a property of the root window.
std::vector<long> cardinals(Display* display, const char* name) {
  const Atom property = XInternAtom(display, name, True);
  if (property == None) return {};
  Atom type = None;
  int format = 0;
  unsigned long count = 0;
  unsigned long after = 0;
  unsigned char* data = nullptr;
  std::vector<long> values;
  if (XGetWindowProperty(display, DefaultRootWindow(display), property, 0, 1024, False,
                         XA_CARDINAL, &type, &format, &count, &after, &data) == Success &&
      type == XA_CARDINAL && format == 32 && data != nullptr) {
    const long* longs = reinterpret_cast<const long*>(data);  // format 32 comes as long
    values.assign(longs, longs + count);
  }
  if (data != nullptr) XFree(data);
  return values;
}

std::optional<ScreenArea> workArea(Display* display) {
  const std::vector<long> area = cardinals(display, "_NET_WORKAREA");
  const std::vector<long> desktop = cardinals(display, "_NET_CURRENT_DESKTOP");
  const std::size_t index = desktop.empty() ? 0 : static_cast<std::size_t>(desktop[0]);
  if (area.size() < 4 * (index + 1)) return std::nullopt;
  const long* a = &area[4 * index];
  if (a[2] <= 0 || a[3] <= 0) return std::nullopt;
  return ScreenArea{static_cast<int>(a[0]), static_cast<int>(a[1]), static_cast<int>(a[2]),
                    static_cast<int>(a[3])};
}
#endif

}  // namespace

ScreenArea usableScreenArea(bool onX11) {
#if defined(TESMIC_HAVE_X11)
  if (!onX11) return kUnbounded;
  Display* display = XOpenDisplay(nullptr);
  if (display == nullptr) return kUnbounded;
  const int screen = DefaultScreen(display);
  const ScreenArea area = workArea(display).value_or(
      ScreenArea{0, 0, DisplayWidth(display, screen), DisplayHeight(display, screen)});
  XCloseDisplay(display);
  return area;
#else
  (void)onX11;
  return kUnbounded;
#endif
}

}  // namespace tesmic
