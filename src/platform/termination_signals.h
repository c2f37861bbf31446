// SIGINT, SIGTERM, SIGHUP and SIGQUIT: what becomes of a run they end.
#pragma once

#include <csignal>

namespace tesmic {

// While one exists, the four signals are caught, in one of two ways:
//  - at once (from the start): the handler removes the file given to
//    removeOnSignal(), if any, and ends the process by that signal, as its
//    default action would. Only async-signal-safe calls run there, so this
//    serves wherever no event loop can take the signal: a run without
//    windows, the set-up before the windows, the end of a run;
//  - deferred (deferToEventLoop(true)): the handler only writes the
//    signal's number to a pipe (readFd()), for an event loop to take
//    (takeSignal()) and end the run through its own end.
// A signal ignored when the object is made (nohup, a background job of a
// script) stays ignored. One at a time; the handlers in place before are
// restored when it goes.
class TerminationSignals {
 public:
  TerminationSignals();
  ~TerminationSignals();
  TerminationSignals(const TerminationSignals&) = delete;
  TerminationSignals& operator=(const TerminationSignals&) = delete;

  void deferToEventLoop(bool defer);

  // The file named name (a single path component, copied) in the folder
  // open at folder is removed when a signal ends the process at once; the
  // folder must stay open until keepOnSignal(). Callers block the signals
  // while they make the file and name it here, so that none falls between.
  void removeOnSignal(int folder, const char* name);
  void keepOnSignal();

  // Removes that file now, for an end that skips every handler (_exit()
  // after a fatal error). Async-signal-safe.
  static void removeFileNow();

  int readFd() const { return fds_[0]; }

  // The number of a signal caught while deferred, read from the pipe; 0
  // when none is there.
  int takeSignal() const;

 private:
  int fds_[2] = {-1, -1};
  struct sigaction previous_[4];
};

// The four signals, blocked on the calling thread while one exists.
class TerminationSignalsBlocked {
 public:
  TerminationSignalsBlocked();
  ~TerminationSignalsBlocked();
  TerminationSignalsBlocked(const TerminationSignalsBlocked&) = delete;
  TerminationSignalsBlocked& operator=(const TerminationSignalsBlocked&) = delete;

 private:
  sigset_t previous_;
};

// Ends the process as the signal's default action would (the parent and the
// shell see that signal), after the caller has cleaned up. Async-signal-safe.
[[noreturn]] void endBySignal(int signal);

}  // namespace tesmic
