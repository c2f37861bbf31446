// SIGINT, SIGTERM and SIGHUP turned into something an event loop can wait
// for, so that a run ends through its own cleanup rather than at once.
#pragma once

#include <csignal>

namespace tesmic {

// While one exists, the three signals are caught: each writes its number to
// a pipe whose reading end readFd() gives. The handlers in place before are
// restored when it goes.
class TerminationSignals {
 public:
  TerminationSignals();
  ~TerminationSignals();
  TerminationSignals(const TerminationSignals&) = delete;
  TerminationSignals& operator=(const TerminationSignals&) = delete;

  int readFd() const { return fds_[0]; }

  // The number of a signal caught, read from the pipe; 0 when none is there.
  int takeSignal() const;

 private:
  int fds_[2] = {-1, -1};
  struct sigaction previous_[3];
};

// Ends the process as the signal's default action would (the parent and the
// shell see that signal), after the caller has cleaned up.
[[noreturn]] void endBySignal(int signal);

}  // namespace tesmic
