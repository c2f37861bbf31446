#include "ui/tuning_session.h"

#include <algorithm>

#include <QFileDialog>
#include <QString>
#include <QWidget>
#include <opencv2/core.hpp>
#include <opencv2/highgui.hpp>

#include "pass/colour_classification.h"
#include "pass/huge_pages.h"
#include "pass/stopwatch.h"
#include "ui/control_panel.h"
#include "ui/drag_band.h"
#include "ui/run_wait.h"
#include "ui/slider_ranges.h"
#include "ui/status_readouts.h"
#include "ui/toolkit_windows.h"
#include "ui/window_titles.h"

namespace tesmic {
namespace {

// The toolkit calls back into the session from inside its event loop,
// which must not be left by an exception; a readout that cannot be shown is
// not worth ending the run for.
template <typename Body>
void withoutThrowing(Body body) noexcept {
  try {
    body();
  } catch (...) {
  }
}

double markedShare(const cv::Mat& mask) {
  return mask.empty() ? 0.0 : cv::countNonZero(mask) / static_cast<double>(mask.total());
}

}  // namespace

TuningSession::TuningSession(const cv::Mat& hls, const cv::Mat& picture, cv::Mat& mask,
                             const DetectionBounds& bounds, WorkerPool& workers,
                             double firstPassSeconds, WindowPlacement& placement,
                             MaskSaving saving)
    : hls_(hls),
      picture_(picture),
      mask_(mask),
      workers_(workers),
      placement_(placement),
      saving_(std::move(saving)),
      start_(clampedToSliders(bounds)),
      current_(bounds),
      wanted_(start_),
      history_(start_),
      passText_(passReadout(firstPassSeconds, markedShare(mask))) {
  const WindowCommands commands{[this] { togglePanel(); },
                                [this] { applyStep(history_.undo()); },
                                [this] { applyStep(history_.redo()); }};
  QWidget* maskWindow = toolkitWindow(kMaskWindow);
  QWidget* imageWindow = toolkitWindow(kImageWindow);
  for (QWidget* window : {maskWindow, imageWindow}) {
    if (window != nullptr) takeOverCommands(*window, commands);
  }
  if (maskWindow != nullptr) {
    PanelActions actions;
    actions.boundsChosen = [this](const DetectionBounds& b, bool finished) { choose(b, finished); };
    actions.viewChosen = [this](MaskView view) { chooseView(view); };
    actions.undo = commands.undo;
    actions.redo = commands.redo;
    actions.reset = [this] {
      panel_->showBounds(start_);
      choose(start_, true);
    };
    actions.saveMask = [this] { saveMask(); };
    actions.toggle = commands.togglePanel;
    panel_ = std::make_unique<ControlPanel>(*maskWindow, std::move(actions));
    panel_->showBounds(start_);
  }
  int band = 0;
  for (QWidget* window : {maskWindow, imageWindow}) {
    if (QWidget* view = window == nullptr ? nullptr : toolkitView(*window)) {
      bands_[band++] = std::make_unique<DragBand>(*view);
    }
  }
  cv::setMouseCallback(kMaskWindow, onMouseInMask, this);
  cv::setMouseCallback(kImageWindow, onMouseInImage, this);
  showReadouts();
}

TuningSession::~TuningSession() = default;

WaitEnding TuningSession::waitForEnd() {
  // A change is computed once the events already queued are handled,
  // together with any other changes among them.
  RunWait wait([this] {
    if (stale_) computeAgain();
  });
  wait_ = &wait;
  struct Forget {
    RunWait*& wait;
    ~Forget() { wait = nullptr; }
  } forget{wait_};
  if (stale_) wait.workPending();
  return wait.run();
}

bool TuningSession::boundsChanged() const { return changed_ && !(current_ == start_); }

void TuningSession::onMouseInMask(int event, int x, int y, int flags, void* session) {
  withoutThrowing(
      [&] { static_cast<TuningSession*>(session)->mouse(kMaskWindow, event, x, y, flags); });
}

void TuningSession::onMouseInImage(int event, int x, int y, int flags, void* session) {
  withoutThrowing(
      [&] { static_cast<TuningSession*>(session)->mouse(kImageWindow, event, x, y, flags); });
}

void TuningSession::mouse(const char* window, int event, int x, int y, int flags) {
  if (event == cv::EVENT_LBUTTONDOWN && (flags & cv::EVENT_FLAG_SHIFTKEY)) {
    drag_ = Drag{window, {x, y}, (flags & cv::EVENT_FLAG_CTRLKEY) != 0};
    return;
  }
  if (event == cv::EVENT_LBUTTONUP && drag_) {
    const Drag drag = *drag_;
    drag_.reset();
    if (drag.window != window) return;
    const cv::Point from(std::min(drag.from.x, x), std::min(drag.from.y, y));
    const cv::Point to(std::max(drag.from.x, x), std::max(drag.from.y, y));
    fitToArea(cv::Rect(from, to + cv::Point(1, 1)), drag.excluded);
    return;
  }
  hover(window, x, y);
}

void TuningSession::fitToArea(cv::Rect area, bool excluded) {
  area &= cv::Rect(0, 0, hls_.cols, hls_.rows);
  if (area.empty()) return;
  if (!excluded) {
    areas_ = {{area}, {}};
  } else if (areas_.sample.empty()) {
    if (panel_) panel_->showMessage("Nejdriv vyberte vzorek objektu tazenim se Shift.");
    return;
  } else {
    areas_.excluded.push_back(area);
  }
  const SampleFit fit = fitBoundsToSample(hls_, areas_, workers_);
  if (panel_) {
    panel_->showBounds(fit.bounds);
    panel_->showMessage("");
  }
  showSampleShares(fit.sampleMarked, fit.excludedMarked);
  choose(fit.bounds, true);
}

void TuningSession::showSampleShares(double sample, double excluded) {
  sampleText_ = sampleReadout(sample, excluded, !areas_.excluded.empty());
  // The readout without its leading comma: "Oznaceno 97.2 % vzorku, ...".
  if (panel_) panel_->showSampleShares("Oznaceno" + sampleText_.substr(1) + ".");
}

void TuningSession::hover(const char* window, int x, int y) {
  if (x < 0 || y < 0 || x >= hls_.cols || y >= hls_.rows) return;
  hover_ = {window, x, y};
  showReadouts();
}

void TuningSession::showReadouts() {
  std::string maskText = passText_ + sampleText_;
  if (hover_.window != nullptr) {
    const std::string pixel = pixelReadout(hover_.x, hover_.y, hls_.at<cv::Vec3b>(hover_.y, hover_.x),
                                           mask_.at<std::uint8_t>(hover_.y, hover_.x) != kOther);
    if (hover_.window == kMaskWindow) {
      maskText = pixel + " | " + maskText;
    } else {
      cv::displayStatusBar(kImageWindow, pixel, 0);
    }
  }
  cv::displayStatusBar(kMaskWindow, maskText, 0);
}

void TuningSession::togglePanel() {
  if (!panel_ || panel_->window() == nullptr) return;
  QWidget& window = *panel_->window();
  if (window.isVisible()) {
    window.hide();
    return;
  }
  if (!panelPlaced_) placePanel(window, placement_);
  panelPlaced_ = true;
  window.show();
  window.raise();
  window.activateWindow();
  window.setFocus();
  drawHistograms();
}

void TuningSession::choose(const DetectionBounds& bounds, bool finished) {
  wanted_ = bounds;
  changed_ = true;
  stale_ = true;
  if (finished && history_.record(bounds)) showHistory();
  if (wait_ != nullptr) wait_->workPending();
}

void TuningSession::chooseView(MaskView view) {
  wantedView_ = view;
  stale_ = true;
  if (wait_ != nullptr) wait_->workPending();
}

void TuningSession::applyStep(const std::optional<DetectionBounds>& bounds) {
  if (!bounds) return;
  if (panel_) panel_->showBounds(*bounds);
  showHistory();
  wanted_ = *bounds;
  changed_ = true;
  stale_ = true;
  if (wait_ != nullptr) wait_->workPending();
}

void TuningSession::showHistory() {
  if (panel_) panel_->showHistory(history_.canUndo(), history_.canRedo());
}

void TuningSession::saveMask() {
  if (!panel_ || panel_->window() == nullptr || !saving_.write) return;
  if (stale_) computeAgain();  // the mask of the bounds shown
  const QString path = QFileDialog::getSaveFileName(
      panel_->window(), "Ulozit masku", QString::fromStdString(saving_.suggestedPath),
      "Obrazky (*.png *.tif *.tiff *.bmp *.pgm *.webp);;Vsechny soubory (*)");
  if (path.isEmpty()) return;
  const std::string file = path.toStdString();
  const std::string error = saving_.write(file, mask_);
  if (error.empty()) {
    saving_.suggestedPath = file;
    panel_->showMessage("Maska ulozena do \"" + file + "\".");
  } else {
    panel_->showMessage(error);
  }
}

void TuningSession::computeAgain() {
  stale_ = false;
  // Switching the view alone needs no pass, and keeps the readout's time
  // (the command line's bounds give the mask of their clamped values).
  const bool needsPass = !(wanted_ == clampedToSliders(current_));
  current_ = wanted_;
  if (needsPass) {
    const auto start = std::chrono::steady_clock::now();
    classifyPixels(hls_, mask_, current_, workers_);
    const double seconds = secondsSince(start);
    passText_ = passReadout(seconds, markedShare(mask_));
    if (!areas_.sample.empty()) {
      const MarkedShares shares = markedShares(hls_, areas_, current_);
      showSampleShares(shares.sample, shares.excluded);
    }
  }
  view_ = wantedView_;
  showView();
  showReadouts();
  if (needsPass) drawHistograms();
}

void TuningSession::showView() {
  if (view_ == MaskView::kMask) {
    cv::imshow(kMaskWindow, mask_);
    return;
  }
  // Kept from the first switch on, on huge pages like the mask: a fresh
  // image-sized buffer on every switch would cost its page faults each time.
  if (composed_.empty()) composed_ = imageOnHugePages(picture_.size(), CV_8UC3);
  composeView(view_, picture_, mask_, composed_);
  cv::imshow(kMaskWindow, composed_);
}

void TuningSession::drawHistograms() {
  if (!panel_ || !panel_->isVisible()) return;
  const int rowStep = histogramRowStep(hls_.size());
  if (!wholeImageCounts_) wholeImageCounts_ = channelCounts(hls_, workers_, rowStep);
  panel_->showHistograms(*wholeImageCounts_,
                         countsPassingOthers(hls_, current_, workers_, rowStep), current_);
}

}  // namespace tesmic
