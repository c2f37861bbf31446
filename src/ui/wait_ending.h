// How the wait for the user ended.
#pragma once

namespace tesmic {

enum class EndingKind {
  kKey,           // a key that ends the run, in either window
  kWindowClosed,  // either window closed
  kSignal,        // SIGINT, SIGTERM or SIGHUP
};

struct WaitEnding {
  EndingKind kind = EndingKind::kKey;
  int signal = 0;  // for kSignal
};

}  // namespace tesmic
