// How the wait for the user ended.
#pragma once

namespace tesmic {

enum class EndingKind {
  kKey,           // a key that ends the run, in either window
  kWindowClosed,  // either window closed, or destroyed by another client
};

struct WaitEnding {
  EndingKind kind = EndingKind::kKey;
};

}  // namespace tesmic
