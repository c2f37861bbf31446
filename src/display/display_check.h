// Whether the windows can be shown at all.
#pragma once

#include <memory>
#include <string>

namespace tesmic {

enum class DisplayStatus {
  kReady,         // the windows can be shown
  kUnreachable,   // no platform Qt would try can start (no X server, say)
  kNoScreen,      // Qt would start, on a platform with nothing to look at
  kNoTrueColour,  // an X server whose screen would show the windows black
};

struct DisplayCheck {
  DisplayStatus status;
  std::string platform;  // the platform the verdict is about, e.g. "xcb"
  // The check's own connection to the X server, open while this lives:
  // keep the check until Qt's windows are open (see xServerAnswer).
  std::shared_ptr<void> connection;
};

// Asks, for each platform Qt will try (QT_QPA_PLATFORM, else xcb), whether
// it can start, in Qt's order, and stops at the first answer that decides.
// An X server is asked here, within a time: a frozen one counts as
// unreachable. Any other platform is started by a probe process
// (display_probe.h), as Qt aborts the process it fails in.
DisplayCheck checkDisplay();

// The line for standard error that explains a check that is not kReady.
std::string noDisplayMessage(const DisplayCheck& check);

}  // namespace tesmic
