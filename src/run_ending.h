// How a run's wait for the user ended, and the exit code for it.
#pragma once

namespace tesmic {

enum class EndingKind {
  kKey,           // a key that ends the run, in either window
  kWindowClosed,  // either window closed
  kSignal,        // SIGINT, SIGTERM or SIGHUP
};

struct RunEnding {
  EndingKind kind = EndingKind::kKey;
  int signal = 0;  // for kSignal
};

}  // namespace tesmic
