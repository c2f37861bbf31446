#include "run/detection_run.h"

#include <cstdio>
#include <optional>
#include <utility>

#include <opencv2/core.hpp>
#include <opencv2/highgui.hpp>
#include <opencv2/highgui/highgui_c.h>
#include <opencv2/imgproc.hpp>

#include "pass/colour_classification.h"
#include "display/display_check.h"
#include "platform/display_loss_report.h"
#include "platform/exit_codes.h"
#include "pass/huge_pages.h"
#include "run/image_loading.h"
#include "run/mask_file.h"
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

// The mask, its pages committed, on huge pages where the kernel offers them.
cv::Mat emptyMask(cv::Size size) {
  cv::Mat maska;
  maska.allocator = hugePageAllocator();
  maska.create(size, CV_8UC1);
  maska.setTo(cv::Scalar(0));
  return maska;
}

// The first pass, timed, with its "Cas" line on standard error.
double timedPass(const cv::Mat& hls, cv::Mat& mask, const DetectionBounds& bounds,
                 WorkerPool& workers) {
  const auto start = std::chrono::steady_clock::now();
  classifyPixels(hls, mask, bounds, workers);
  const double passSeconds = secondsSince(start);
  std::fprintf(stderr, "%s\n", timingMessage(passSeconds).c_str());
  return passSeconds;
}

// With TESMIC_MASK and no display: the mask of the given bounds, written
// without windows, as a script applies tuned bounds to many images.
int runWithoutWindows(const RunSettings& settings, const cv::Mat& snimek,
                      const std::string& maskPath) {
  cv::Mat snimekKLON;
  snimekKLON.allocator = hugePageAllocator();
  cv::cvtColor(snimek, snimekKLON, cv::COLOR_BGR2HLS);
  cv::Mat maska = emptyMask(snimekKLON.size());
  WorkerPool workers;
  prepareClassification(workers);
  timedPass(snimekKLON, maska, settings.bounds, workers);
  return finishRun({settings.programName, settings.imageName, settings.bounds, false, &maska,
                    maskPath});
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
  cv::Mat maska;
  const TuningSession* tuning = nullptr;
  const auto endOfRun = [&]() -> int {
    if (tuning == nullptr) return kExitOk;
    return finishRun({settings.programName, imageName, tuning->bounds(),
                      tuning->boundsChanged(), &maska, maskPath});
  };
  // After the windows, so that at exit it comes before what Qt set up.
  const DisplayLossReport reportLoss([&] { endOfRun(); });
  placeWindows(snimek.size(), display->platform == "xcb");

  // The detection sees the colours as loaded, so the HLS copy is taken
  // before the picture is smoothed; one conversion makes the copy. What the
  // pass reads and writes lies on huge pages where the kernel offers them.
  cv::Mat snimekKLON;
  snimekKLON.allocator = hugePageAllocator();
  cv::cvtColor(snimek, snimekKLON, cv::COLOR_BGR2HLS);
  cv::GaussianBlur(snimek, snimek, cv::Size(3, 3), 0.0, 0.0,
                   cv::BORDER_REPLICATE);

  // Filled once here so that its pages are committed before the stopwatch
  // starts: the timed pass then measures the pass, not the page faults.
  maska = emptyMask(snimekKLON.size());

  // The threads, the choice of instruction set and the kernel's code are
  // set up before the clock starts, like the mask's pages.
  WorkerPool workers;
  prepareClassification(workers);

  const double passSeconds = timedPass(snimekKLON, maska, bounds, workers);

  cv::imshow(kMaskWindow, maska);
  cv::imshow(kImageWindow, snimek);
  // The HLS copy stays for the sliders and the readouts.
  TuningSession session(snimekKLON, snimek, maska, bounds, workers, passSeconds);
  tuning = &session;
  const WaitEnding ending = session.waitForEnd();
  cv::destroyAllWindows();

  const int code = endOfRun();
  if (ending.kind == EndingKind::kSignal) endBySignal(ending.signal);
  return code;
}

}  // namespace tesmic
