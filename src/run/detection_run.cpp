#include "run/detection_run.h"

#include <cstdio>
#include <memory>
#include <optional>
#include <utility>

#include <opencv2/core.hpp>
#include <opencv2/highgui.hpp>
#include <opencv2/highgui/highgui_c.h>

#include "display/display_check.h"
#include "platform/exit_codes.h"
#include "run/image_loading.h"
#include "run/mask_file.h"
#include "run/pass_setup.h"
#include "display/qt_start_report.h"
#include "pass/stopwatch.h"
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
int runWithoutWindows(const RunSettings& settings, cv::Mat& snimek, RunEnd& end) {
  WorkerPool workers;
  PassImages pass = setUpPass(snimek, /*smoothPicture=*/false, workers);
  firstPass(pass, settings.bounds, workers);
  const RunEnd::Tracking tracking =
      end.track([&] { return RunEnd::Outcome{settings.bounds, false, pass.maska}; });
  return end.finish();
}

// The control panel's "Ulozit masku": written as the mask of TESMIC_MASK
// is, through the run's codec helper; the dialog starts at TESMIC_MASK's
// name, else at the image's.
MaskSaving maskSaving(CodecSession& codecs, const std::string& imageName) {
  const std::string maskPath = maskPathFromEnvironment();
  return {maskPath.empty() ? suggestedMaskName(imageName) : maskPath,
          [&codecs, imageName](const std::string& path, const cv::Mat& mask) {
            std::string failure;
            const std::unique_ptr<MaskFile> file =
                MaskFile::prepare(path, imageName, codecs, nullptr, failure);
            return file && file->write(mask, failure) ? std::string() : failure;
          }};
}

}  // namespace

int runDetection(const RunSettings& settings, CodecSession& codecs, RunEnd& end) {
  const std::string& imageName = settings.imageName;
  const DetectionBounds& bounds = settings.bounds;
  // The display is checked while the helper decodes; the image's outcome
  // is told first, so a missing image is exit 1 without a display too.
  ImageDecoding decoding(codecs, imageName);
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
  // Checked: only a running helper decodes an image.
  if (display->status != DisplayStatus::kReady) {
    if (end.keepsMask()) return runWithoutWindows(settings, snimek, end);
    std::fprintf(stderr, "%s\n", noDisplayMessage(*display).c_str());
    return kExitNoDisplay;
  }

  createWindows();
  end.windowsOpened();
  WindowPlacement placement = placeWindows(snimek.size(), display->platform == "xcb");

  // The HLS copy, the smoothed picture, the mask, the threads.
  WorkerPool workers;
  PassImages pass = setUpPass(snimek, /*smoothPicture=*/true, workers);
  const double passSeconds = firstPass(pass, bounds, workers);

  cv::imshow(kMaskWindow, pass.maska);
  cv::imshow(kImageWindow, snimek);
  // The HLS copy stays for the sliders and the readouts.
  TuningSession session(pass.snimekKLON, snimek, pass.maska, bounds, workers, passSeconds,
                        placement, maskSaving(codecs, imageName));
  const RunEnd::Tracking tracking = end.track([&] {
    return RunEnd::Outcome{session.bounds(), session.boundsChanged(), pass.maska};
  });
  session.waitForEnd();
  // Written before the windows are touched.
  const int code = end.finish();
  cv::destroyAllWindows();
  return code;
}

}  // namespace tesmic
