#include "display_check.h"

#if defined(TESMIC_HAVE_X11)
#include <X11/Xlib.h>
#endif

namespace tesmic {

bool displayAvailable() {
#if defined(TESMIC_HAVE_X11)
  // Connect once to the display the toolkit will use (DISPLAY) and let go.
  Display* display = XOpenDisplay(nullptr);
  if (display == nullptr) return false;
  XCloseDisplay(display);
  return true;
#else
  // Elsewhere the desktop is part of the system and always there.
  return true;
#endif
}

}  // namespace tesmic
