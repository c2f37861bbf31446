// Whether the windows can be shown at all.
#pragma once

#include <string>

namespace tesmic {

enum class DisplayStatus {
  kReady,        // the windows can be shown
  kUnreachable,  // no platform Qt would try can start (no X server, say)
  kNoScreen,     // Qt would start, on a platform with nothing to look at
};

struct DisplayCheck {
  DisplayStatus status;
  std::string platform;  // the platform the verdict is about, e.g. "xcb"
};

// Asks, for each platform Qt will try (QT_QPA_PLATFORM, else xcb), whether
// it can start, in Qt's order, and stops at the first answer that decides.
// Qt aborts the whole process when no platform starts, so every question
// that could fail that way is put to a child process, each bounded in time:
// a frozen X server counts as unreachable.
DisplayCheck checkDisplay();

// The line for standard error that explains a check that is not kReady.
std::string noDisplayMessage(const DisplayCheck& check);

}  // namespace tesmic
