#include "detection_run.h"

#include <cstdio>

#include <opencv2/core.hpp>
#include <opencv2/highgui.hpp>
#include <opencv2/imgproc.hpp>

#include "colour_classification.h"
#include "display_check.h"
#include "exit_codes.h"
#include "huge_pages.h"
#include "image_loading.h"
#include "mask_file.h"
#include "run_ending.h"
#include "screen_area.h"
#include "stopwatch.h"
#include "terminal_text.h"
#include "tuning_session.h"
#include "window_layout.h"
#include "window_titles.h"
#include "worker_pool.h"

namespace tesmic {
namespace {

// Sized so that the image area shows the image at the layout's scale: 1:1
// where it fits, scaled to the screen where not. Normal windows rather than
// auto-sized ones, which are never narrower than their toolbar.
void openWindow(const char* title, const WindowPlace& place) {
  cv::namedWindow(title, cv::WINDOW_NORMAL | cv::WINDOW_KEEPRATIO);
  cv::resizeWindow(title, place.view.width, place.view.height + kWindowChromeHeight);
  cv::moveWindow(title, place.position.x, place.position.y);
}

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
  char zprava[kMessageSize];
  elapsedSeconds();
  classifyPixels(hls, mask, bounds, workers);
  const double passSeconds = elapsedSeconds();
  formatTimingMessage(zprava, sizeof zprava, passSeconds);
  std::fprintf(stderr, "%s\n", zprava);
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
  cv::Mat snimek = loadImage(imageName);
  if (snimek.empty()) {
    std::fprintf(stderr, "Chyba: obrazek \"%s\" nelze nacist.\n",
                 escapeControlCharacters(imageName).c_str());
    return kExitImageUnreadable;
  }
  // Before the windows, so that a mask that could not be kept is known
  // before any tuning is done.
  const std::string maskPath = maskPathFromEnvironment();
  std::string maskError;
  if (!maskPath.empty() && !maskTargetUsable(maskPath, maskError)) {
    std::fprintf(stderr, "%s\n", maskFailureMessage(maskPath, maskError).c_str());
    return kExitRunFailed;
  }
  const DisplayCheck display = checkDisplay();
  if (display.status != DisplayStatus::kReady) {
    if (!maskPath.empty()) return runWithoutWindows(settings, snimek, maskPath);
    std::fprintf(stderr, "%s\n", noDisplayMessage(display).c_str());
    return kExitNoDisplay;
  }

  const WindowLayout layout =
      layoutWindows(snimek.size(), usableScreenArea(display.platform == "xcb"));
  openWindow(kMaskWindow, layout.vysledek);
  openWindow(kImageWindow, layout.orig);
  // After the windows, so that at exit it comes before what Qt set up.
  const DisplayLossReport reportLoss;

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
  cv::Mat maska = emptyMask(snimekKLON.size());

  // The threads, the choice of instruction set and the kernel's code are
  // set up before the clock starts, like the mask's pages.
  WorkerPool workers;
  prepareClassification(workers);

  const double passSeconds = timedPass(snimekKLON, maska, bounds, workers);

  cv::imshow(kMaskWindow, maska);
  cv::imshow(kImageWindow, snimek);
  // The HLS copy stays for the sliders and the readouts.
  TuningSession tuning(snimekKLON, snimek, maska, bounds, workers, passSeconds);
  tuning.waitForKeyOrClose();
  cv::destroyAllWindows();

  return finishRun({settings.programName, imageName, tuning.bounds(), tuning.boundsChanged(),
                    &maska, maskPath});
}

}  // namespace tesmic
