// Live tuning of the bounds while the windows are open.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include <opencv2/core/mat.hpp>

#include "pass/detection_bounds.h"
#include "pass/hls_histograms.h"
#include "pass/sample_fit.h"
#include "pass/view_composition.h"
#include "pass/worker_pool.h"
#include "ui/bounds_history.h"
#include "ui/wait_ending.h"
#include "ui/window_placement.h"

namespace tesmic {

class ControlPanel;
class DragBand;
class RunWait;

// How the panel's "Ulozit masku" keeps the mask; the run's to give, as the
// windows know nothing of files.
struct MaskSaving {
  std::string suggestedPath;  // where the file dialog starts
  // Writes mask (CV_8UC1, the image's full size) to path: an empty string
  // when it did, else the one Czech line that says why not.
  std::function<std::string(const std::string& path, const cv::Mat& mask)> write;
};

// The control panel (control_panel.h) and a readout in each window's
// status bar, until the run ends (run_wait.h). Ctrl+P in either window, or
// its toolbar's properties button, opens and closes the panel; the first
// time it opens beside the windows (placePanel()). Bounds chosen in the
// panel have the mask computed again from the kept HLS copy and shown, and
// the panel's histograms drawn again while it is open; requests that come
// while that runs are merged, so that only the newest bounds are computed.
// Each finished change of the bounds is a step that Ctrl+Z undoes and
// Ctrl+Shift+Z redoes, in either window and in the panel.
//
// A rectangle dragged with Shift held over either window is a sample of
// the colour sought: the bounds are fitted to it (sample_fit.h) as one
// step, in place of any sample before. One dragged with Ctrl+Shift is an
// area to leave unmarked, added to those of the sample, and the bounds are
// fitted again. From then on Vysledek's status bar says what share of the
// sample, and of those areas, the bounds in force mark.
//
// The windows must exist, showing the mask (Vysledek) and picture, the
// image as ORIG shows it.
class TuningSession {
 public:
  TuningSession(const cv::Mat& hls, const cv::Mat& picture, cv::Mat& mask,
                const DetectionBounds& bounds, WorkerPool& workers, double firstPassSeconds,
                WindowPlacement& placement, MaskSaving saving);
  ~TuningSession();
  TuningSession(const TuningSession&) = delete;
  TuningSession& operator=(const TuningSession&) = delete;

  // Returns how the run ended: a key in either window, or either window
  // closed.
  WaitEnding waitForEnd();

  // Whether the bounds were changed and end away from where they started
  // (the command line's bounds, each moved into its slider's range), and
  // the bounds in force.
  bool boundsChanged() const;
  const DetectionBounds& bounds() const { return current_; }

 private:
  struct Drag {
    const char* window;
    cv::Point from;  // in image pixels
    bool excluded;   // an area to leave unmarked (Ctrl held)
  };
  struct Hover {
    const char* window = nullptr;  // none while the pointer is elsewhere
    int x = 0;
    int y = 0;
  };

  static void onMouseInMask(int event, int x, int y, int flags, void* session);
  static void onMouseInImage(int event, int x, int y, int flags, void* session);
  void mouse(const char* window, int event, int x, int y, int flags);
  void fitToArea(cv::Rect area, bool excluded);
  void showSampleShares(double sample, double excluded);
  void hover(const char* window, int x, int y);
  void showReadouts();

  void togglePanel();
  void choose(const DetectionBounds& bounds, bool finished);
  void chooseView(MaskView view);
  void applyStep(const std::optional<DetectionBounds>& bounds);
  void saveMask();
  void showHistory();
  void computeAgain();
  void showView();
  void drawHistograms();

  const cv::Mat& hls_;
  const cv::Mat& picture_;
  cv::Mat& mask_;
  cv::Mat composed_;  // the view shown when it is not the mask itself
  WorkerPool& workers_;
  WindowPlacement& placement_;
  MaskSaving saving_;
  const DetectionBounds start_;  // where the sliders start
  DetectionBounds current_;      // the command line's until the bounds change
  DetectionBounds wanted_;       // the newest asked for
  BoundsHistory history_;
  MaskView view_ = MaskView::kMask;
  MaskView wantedView_ = MaskView::kMask;
  bool stale_ = false;           // wanted_ not computed yet
  bool changed_ = false;         // the bounds have been changed since the start
  std::string passText_;
  std::string sampleText_;  // what the bounds mark of the sample, once there is one
  SampleAreas areas_;
  std::optional<Drag> drag_;
  Hover hover_;
  RunWait* wait_ = nullptr;      // while waiting
  std::unique_ptr<ControlPanel> panel_;
  bool panelPlaced_ = false;
  std::optional<HlsCounts> wholeImageCounts_;  // from the first time the panel opens
  std::unique_ptr<DragBand> bands_[2];  // over Vysledek and ORIG
};

}  // namespace tesmic
