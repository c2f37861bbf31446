#include "detection_run.h"

#include <cstdio>

#include <opencv2/core.hpp>
#include <opencv2/highgui.hpp>
#include <opencv2/imgproc.hpp>

#include "colour_classification.h"
#include "display_check.h"
#include "exit_codes.h"
#include "image_loading.h"
#include "stopwatch.h"
#include "terminal_text.h"
#include "worker_pool.h"

namespace tesmic {
namespace {

constexpr char kMaskWindow[] = "Vysledek";
constexpr char kImageWindow[] = "ORIG";

// Saving a window's picture from its toolbar throws out of the wait when the
// name has none of the extensions the toolkit saves (the only failure it
// reports): that ends the save, not the run.
int waitKeyReportingFailedSaves(int delayMs) {
  try {
    return cv::waitKey(delayMs);
  } catch (const cv::Exception&) {
    std::fputs("Chyba: obrazek okna nelze ulozit, nazev souboru musi koncit "
               ".png, .jpg, .jpeg nebo .bmp.\n",
               stderr);
    return -1;
  }
}

// A window closed by the user (the window manager's close button) is hidden
// by the toolkit, not forgotten, so ask whether it is still visible.
bool windowOpen(const char* title) {
  return cv::getWindowProperty(title, cv::WND_PROP_VISIBLE) > 0;
}

// Waits for a key in either window, or for either window to be closed.
// Waiting for a key without a time-out would never return once the windows
// are closed, so the wait is cut into short slices with a look in between.
void waitForKeyOrClose() {
  constexpr int kSliceMs = 30;
  while (windowOpen(kMaskWindow) && windowOpen(kImageWindow)) {
    if (waitKeyReportingFailedSaves(kSliceMs) != -1) return;
  }
}

}  // namespace

int runDetection(const std::string& imageName, const DetectionBounds& bounds) {
  cv::Mat snimek = loadImage(imageName);
  if (snimek.empty()) {
    std::fprintf(stderr, "Chyba: obrazek \"%s\" nelze nacist.\n",
                 escapeControlCharacters(imageName).c_str());
    return kExitImageUnreadable;
  }
  const DisplayCheck display = checkDisplay();
  if (display.status != DisplayStatus::kReady) {
    std::fprintf(stderr, "%s\n", noDisplayMessage(display).c_str());
    return kExitNoDisplay;
  }

  cv::namedWindow(kMaskWindow, cv::WINDOW_AUTOSIZE);
  cv::namedWindow(kImageWindow, cv::WINDOW_AUTOSIZE);
  // After the windows, so that at exit it comes before what Qt set up.
  const DisplayLossReport reportLoss;

  // The detection sees the colours as loaded, so the HLS copy is taken
  // before the picture is smoothed; one conversion makes the copy.
  cv::Mat snimekKLON;
  cv::cvtColor(snimek, snimekKLON, cv::COLOR_BGR2HLS);
  cv::GaussianBlur(snimek, snimek, cv::Size(3, 3), 0.0, 0.0,
                   cv::BORDER_REPLICATE);

  // Filled once here so that its pages are committed before the stopwatch
  // starts: the timed pass then measures the pass, not the page faults.
  cv::Mat maska(snimekKLON.size(), CV_8UC1, cv::Scalar(0));

  // The threads, the choice of instruction set and the kernel's code are
  // set up before the clock starts, like the mask's pages.
  WorkerPool workers;
  prepareClassification(workers);

  char zprava[kMessageSize];
  elapsedSeconds();
  classifyPixels(snimekKLON, maska, bounds, workers);
  const double passSeconds = elapsedSeconds();
  formatTimingMessage(zprava, sizeof zprava, passSeconds);
  std::fprintf(stderr, "%s\n", zprava);

  // No window shows the working copy; on a huge image its memory is better
  // spent on the display copies that the windows make next.
  snimekKLON.release();
  cv::imshow(kMaskWindow, maska);
  cv::imshow(kImageWindow, snimek);
  waitForKeyOrClose();

  cv::destroyAllWindows();
  return kExitOk;
}

}  // namespace tesmic
