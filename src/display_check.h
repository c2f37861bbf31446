// Whether the windows can be opened at all.
#pragma once

namespace tesmic {

// True when a display for the windows is reachable. The window toolkit aborts
// the whole process when it finds none, so this is asked before the first
// window is made.
bool displayAvailable();

}  // namespace tesmic
