// The end of a run, in one place.
#pragma once

#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>

#include <opencv2/core/mat.hpp>

#include "pass/detection_bounds.h"
#include "platform/termination_signals.h"
#include "run/command_line.h"
#include "run/mask_file.h"

namespace tesmic {

class SignalWatch;

// Whatever ends a run comes here, and what the run leaves is written exactly
// once, before any window is touched (a frozen X server would block that):
// the command that repeats the run when the bounds were tuned (standard
// output), then the mask file that TESMIC_MASK names. The ends:
//  - finish(): a key, a closed window (the user's, or another client's
//    close or destroy), the mask of a run without windows; exit code 0;
//  - endBySignal(): SIGINT, SIGTERM, SIGHUP or SIGQUIT noted while the
//    windows are open, taken from any event loop, a modal dialog's too;
//    the process then ends by that signal, its windows left as they are.
//    Before the windows, in a run without them and once the end has begun,
//    such a signal ends the process at once, removing the mask's temporary
//    file (TerminationSignals);
//  - the display lost while the windows are open (Qt then calls exit()):
//    one Czech line, exit code 2;
//  - fail(): an exception (the toolkit's, memory, a thread that could not
//    be made): one Czech line, exit code 3;
//  - a thread that cannot be made where no one catches it (std::terminate,
//    a library's worker): one Czech line, exit code 3, nothing written.
// A mask or repeat command that cannot be written makes the exit code 3.
// No ending leaves the mask's temporary file behind.
class RunEnd {
 public:
  // What the run leaves, as it stands when the run ends.
  struct Outcome {
    DetectionBounds bounds;
    bool boundsChanged = false;
    cv::Mat mask;  // CV_8UC1, the final one
  };

  // While it exists the run's outcome is read from the function given to
  // track(); when it goes the outcome as it stands then is kept, for an
  // end that comes later (an exception on its way out).
  class Tracking {
   public:
    explicit Tracking(RunEnd& end) : end_(end) {}
    ~Tracking();
    Tracking(const Tracking&) = delete;
    Tracking& operator=(const Tracking&) = delete;

   private:
    RunEnd& end_;
  };

  // maskFile: prepared (MaskFile::prepare), or null without TESMIC_MASK.
  RunEnd(const RunSettings& settings, std::unique_ptr<MaskFile> maskFile,
         TerminationSignals& signals);
  ~RunEnd();
  RunEnd(const RunEnd&) = delete;
  RunEnd& operator=(const RunEnd&) = delete;

  bool keepsMask() const { return maskFile_ != nullptr; }

  // From now on the run has something to leave. Until then an end writes
  // nothing.
  [[nodiscard]] Tracking track(std::function<Outcome()> outcome);

  // The windows are open: termination signals are noted for the toolkit's
  // event loops, which end the run by them (signal_watch.h), and exit() is
  // the display lost. Call on the thread that runs the windows.
  void windowsOpened();

  // The ends above; each returns the exit code.
  int finish();
  int fail(std::exception_ptr failure);

 private:
  [[noreturn]] void endBySignal(int signal);
  void takeNotedSignal();
  static void onExit();
  static void onTerminate();
  [[noreturn]] void endForLostDisplay();

  std::string programName_;
  std::string imageName_;
  std::unique_ptr<MaskFile> maskFile_;
  TerminationSignals& signals_;
  std::function<Outcome()> outcome_;
  std::optional<Outcome> kept_;  // the outcome once tracking ended
  std::unique_ptr<SignalWatch> signalWatch_;
  std::thread::id windowsThread_;
  bool started_ = false;
  bool afterInterrupt_ = false;  // the repeat command starts a fresh line
  int code_ = 0;
};

}  // namespace tesmic
