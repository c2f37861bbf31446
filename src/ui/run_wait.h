// The wait for the user while the windows are open: Qt's own event loop,
// which sleeps until something happens, instead of polling for keys.
#pragma once

#include <functional>
#include <memory>

#include "ui/wait_ending.h"

namespace tesmic {

class RunWaitFilter;

// Serves the windows until the run ends: a key that keyEndsRun() accepts in
// "Vysledek" or "ORIG", or either window closed, by the user or by another
// client (a window destroyed outright too). Termination signals are not its
// business (signal_watch.h). Keys typed into any other window (the control
// panel, a dialog) never end it. A failed save from a window's toolbar is
// reported on standard error and the wait goes on; any other exception out
// of the toolkit ends the wait and is passed on.
class RunWait {
 public:
  // work runs once, soon after one or more calls of workPending().
  explicit RunWait(std::function<void()> work);
  ~RunWait();
  RunWait(const RunWait&) = delete;
  RunWait& operator=(const RunWait&) = delete;

  void workPending();
  WaitEnding run();

 private:
  std::unique_ptr<RunWaitFilter> filter_;
};

}  // namespace tesmic
