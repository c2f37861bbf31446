// Which of Qt's platform plugins the windows will be shown through.
#pragma once

#include <string>
#include <vector>

namespace tesmic {

enum class PlatformKind {
  kX11,       // xcb: an X server, reached through DISPLAY
  kNoScreen,  // offscreen, minimal, minimalegl: nothing to see, no key to press
  kOther,     // vnc, wayland, eglfs, linuxfb, ...: only Qt can tell whether it starts
};

struct QtPlatform {
  std::string entry;  // as written, arguments included ("vnc:size=800x600")
  std::string name;   // the plugin, lower case ("vnc")
  PlatformKind kind;
};

// The plugins Qt tries, in order, for a value of QT_QPA_PLATFORM: entries
// separated by ';', each a name with optional arguments after ':'; the first
// that starts is used. Unset (null) or empty means Qt's default, xcb.
std::vector<QtPlatform> qtPlatformCandidates(const char* value);

}  // namespace tesmic
