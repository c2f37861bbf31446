// Termination signals taken in the toolkit's event loop.
#pragma once

#include <functional>
#include <memory>

class QSocketNotifier;

namespace tesmic {

// Calls onReadable whenever fd (TerminationSignals::readFd()) has a signal
// noted, from whichever event loop of the toolkit runs: the wait's, or the
// nested one of a modal dialog (a save dialog, a slider's input box), so
// that a signal is never held until a dialog closes. Needs the toolkit
// started (a window made); lives on that thread.
class SignalWatch {
 public:
  SignalWatch(int fd, std::function<void()> onReadable);
  ~SignalWatch();
  SignalWatch(const SignalWatch&) = delete;
  SignalWatch& operator=(const SignalWatch&) = delete;

 private:
  std::unique_ptr<QSocketNotifier> notifier_;
};

}  // namespace tesmic
