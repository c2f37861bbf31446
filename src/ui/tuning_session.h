// Live tuning of the bounds while the windows are open.
#pragma once

#include <string>

#include <opencv2/core/mat.hpp>

#include "pass/detection_bounds.h"
#include "ui/slider_ranges.h"
#include "pass/view_composition.h"
#include "ui/wait_ending.h"
#include "pass/worker_pool.h"

namespace tesmic {

class RunWait;

// Puts six sliders, one per bound, and a view slider in OpenCV's control
// panel (the toolbar's "Display properties window" button or Ctrl+P shows
// it) and a readout in each window's status bar, then waits for the run to
// end (run_wait.h). A moved bound slider has the mask computed again from
// the kept HLS copy and shown; slider events that come while that runs are
// merged, so that only the newest bounds are computed. The view slider
// picks what Vysledek shows (view_composition.h). The windows must exist,
// showing the mask (Vysledek) and picture, the image as ORIG shows it.
class TuningSession {
 public:
  TuningSession(const cv::Mat& hls, const cv::Mat& picture, cv::Mat& mask,
                const DetectionBounds& bounds, WorkerPool& workers, double firstPassSeconds);
  TuningSession(const TuningSession&) = delete;
  TuningSession& operator=(const TuningSession&) = delete;

  // Returns how the run ended: a key in either window, or either window
  // closed.
  WaitEnding waitForEnd();

  // Whether the sliders were moved and end away from where they started (the
  // command line's bounds, each moved into its slider's range), and the
  // bounds they give.
  bool boundsChanged() const;
  const DetectionBounds& bounds() const { return current_; }

 private:
  struct Slider {
    TuningSession* session;
    int index;
  };
  struct Hover {
    const char* window = nullptr;  // none while the pointer is elsewhere
    int x = 0;
    int y = 0;
  };

  static void onSlider(int position, void* slider);
  static void onMouseInMask(int event, int x, int y, int flags, void* session);
  static void onMouseInImage(int event, int x, int y, int flags, void* session);
  void hover(const char* window, int x, int y);
  void showReadouts();
  void computeAgain();
  void showView();

  const cv::Mat& hls_;
  const cv::Mat& picture_;
  cv::Mat& mask_;
  cv::Mat composed_;  // the view shown when it is not the mask itself
  WorkerPool& workers_;
  const DetectionBounds start_;  // where the sliders start
  DetectionBounds current_;      // the command line's until a slider moves
  DetectionBounds wanted_;       // the newest the sliders asked for
  MaskView view_ = MaskView::kMask;
  MaskView wantedView_ = MaskView::kMask;
  bool stale_ = false;           // wanted_ not computed yet
  bool moved_ = false;           // a slider has moved since they were set up
  bool listening_ = false;       // false while the sliders are being set up
  std::string passText_;
  Hover hover_;
  RunWait* wait_ = nullptr;      // while waiting
  Slider sliders_[kBoundCount + 1];  // the bounds', then the view's
};

}  // namespace tesmic
