// The process exit codes of tesmic, as doc/robustness.md documents them.
#pragma once

namespace tesmic {

inline constexpr int kExitOk = 0;                // a run ended by a key or a closed window
inline constexpr int kExitImageUnreadable = 1;  // the image could not be loaded
inline constexpr int kExitNoDisplay = 2;        // no display to open the windows on
inline constexpr int kExitRunFailed = 3;        // any other failure, e.g. out of memory

}  // namespace tesmic
