#include "run/detection_run.h"

#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <optional>
#include <utility>

#include <opencv2/core.hpp>
#include <opencv2/highgui.hpp>
#include <opencv2/highgui/highgui_c.h>

#include "display/display_check.h"
#include "platform/display_loss_report.h"
#include "platform/exit_codes.h"
#include "run/image_loading.h"
#include "run/mask_file.h"
#include "run/pass_setup.h"
#include "display/qt_start_report.h"
#include "run/run_ending.h"
#include "pass/stopwatch.h"
#include "platform/termination_signals.h"
#include "ui/tuning_session.h"
#include "ui/window_placement.h"
#include "ui/window_titles.h"
#include "pass/worker_pool.h"

namespace tesmic {
namespace {

// The first pass, timed, with its "Cas" line on standard error.
double firstPass(PassImages& pass, const DetectionBounds& bounds, WorkerPool& workers) {
  const double passSeconds = timedPass(pass, bounds, workers);
  std::fprintf(stderr, "%s\n", timingMessage(passSeconds).c_str());
  return passSeconds;
}

// With TESMIC_MASK and no display: the mask of the given bounds, written
// without windows, as a script applies tuned bounds to many images.
int runWithoutWindows(const RunSettings& settings, cv::Mat& snimek,
                      const std::string& maskPath) {
  WorkerPool workers;
  PassImages pass = setUpPass(snimek, /*smoothPicture=*/false, workers);
  firstPass(pass, settings.bounds, workers);
  return finishRun({settings.programName, settings.imageName, settings.bounds, false, &pass.maska,
                    maskPath});
}

// The control panel's "Ulozit masku": through the codec helper, as at the
// end of a run, starting at TESMIC_MASK's name, else at the image's.
MaskSaving maskSaving(const std::string& imageName, const std::string& maskPath) {
  return {maskPath.empty() ? suggestedMaskName(imageName) : maskPath,
          [](const std::string& path, const cv::Mat& mask) {
            std::string error;
            return writeMaskFile(path, mask, error) ? std::string()
                                                    : maskFailureMessage(path, error);
          }};
}

}  // namespace

int runDetection(const RunSettings& settings) {
  const std::string& imageName = settings.imageName;
  const DetectionBounds& bounds = settings.bounds;
  // The display is checked while the helper decodes; the image's outcome
  // is told first, so a missing image is exit 1 without a display too.
  ImageDecoding decoding(imageName);
  std::optional<DisplayCheck> display;
  if (decoding.running()) {
    // Kept to the end of the run: it holds the check's X connection, which
    // must outlive Qt's start-up (see DisplayCheck).
    display = checkDisplay();
    // Qt connects to the display while the helper still decodes.
    if (display->status == DisplayStatus::kReady) {
      const QtStartFailureReport reportFailedStart(display->platform);
      cvInitSystem(0, nullptr);
    }
  }
  LoadedImage loaded = decoding.loaded();
  if (loaded.image.empty()) {
    std::fprintf(stderr, "%s\n", loaded.failure.c_str());
    return loaded.exitCode;
  }
  cv::Mat snimek = std::move(loaded.image);
  // Before the windows, so that a mask that could not be kept is known
  // before any tuning is done.
  const std::string maskPath = maskPathFromEnvironment();
  std::string maskError;
  if (!maskPath.empty() && !maskTargetUsable(maskPath, maskError)) {
    std::fprintf(stderr, "%s\n", maskFailureMessage(maskPath, maskError).c_str());
    return kExitRunFailed;
  }
  // Checked: only a running helper decodes an image.
  if (display->status != DisplayStatus::kReady) {
    if (!maskPath.empty()) return runWithoutWindows(settings, snimek, maskPath);
    std::fprintf(stderr, "%s\n", noDisplayMessage(*display).c_str());
    return kExitNoDisplay;
  }

  createWindows();
  // What every ending of the run leaves (the repeat command, the mask
  // file), once; nothing until the sliders exist.
  PassImages pass;
  const TuningSession* tuning = nullptr;
  bool interruptedInTerminal = false;
  const auto endOfRun = [&]() -> int {
    if (tuning == nullptr) return kExitOk;
    return finishRun({settings.programName, imageName, tuning->bounds(),
                      tuning->boundsChanged(), &pass.maska, maskPath, interruptedInTerminal});
  };
  // After the windows, so that at exit it comes before what Qt set up.
  const DisplayLossReport reportLoss([&] { endOfRun(); });
  WindowPlacement placement = placeWindows(snimek.size(), display->platform == "xcb");

  // The HLS copy, the smoothed picture, the mask, the threads.
  WorkerPool workers;
  pass = setUpPass(snimek, /*smoothPicture=*/true, workers);
  const double passSeconds = firstPass(pass, bounds, workers);

  cv::imshow(kMaskWindow, pass.maska);
  cv::imshow(kImageWindow, snimek);
  // The HLS copy stays for the sliders and the readouts.
  TuningSession session(pass.snimekKLON, snimek, pass.maska, bounds, workers, passSeconds,
                        placement, maskSaving(imageName, maskPath));
  tuning = &session;
  const WaitEnding ending = session.waitForEnd();
  cv::destroyAllWindows();

  // Ctrl+C in the terminal: the "^C" it echoed stands where the cursor was.
  interruptedInTerminal = ending.kind == EndingKind::kSignal && ending.signal == SIGINT &&
                          isatty(STDOUT_FILENO) == 1;
  const int code = endOfRun();
  if (ending.kind == EndingKind::kSignal) endBySignal(ending.signal);
  return code;
}

}  // namespace tesmic
