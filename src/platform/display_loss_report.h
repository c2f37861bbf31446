// What becomes of a run whose display goes away while its windows are open.
#pragma once

#include <functional>

namespace tesmic {

// While one exists, the process ending through exit() (which Qt calls from
// its event processing when its connection to the X server breaks) ends
// instead with the run's own end-of-run output (endOfRun, when that exit
// comes on the thread that made this object), one Czech line on standard
// error and the exit code for no display.
class DisplayLossReport {
 public:
  explicit DisplayLossReport(std::function<void()> endOfRun);
  ~DisplayLossReport();
  DisplayLossReport(const DisplayLossReport&) = delete;
  DisplayLossReport& operator=(const DisplayLossReport&) = delete;
};

}  // namespace tesmic
