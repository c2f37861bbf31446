#include "ui/tuning_session.h"

#include <opencv2/core.hpp>
#include <opencv2/highgui.hpp>

#include "pass/colour_classification.h"
#include "pass/huge_pages.h"
#include "ui/run_wait.h"
#include "ui/slider_ranges.h"
#include "pass/stopwatch.h"
#include "ui/status_readouts.h"
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
                             double firstPassSeconds)
    : hls_(hls),
      picture_(picture),
      mask_(mask),
      workers_(workers),
      start_(clampedToSliders(bounds)),
      current_(bounds),
      wanted_(start_),
      passText_(passReadout(firstPassSeconds, markedShare(mask))) {
  // An empty window name puts a slider in the control panel. Setting its
  // range and position calls back; that is not the user moving it.
  for (int i = 0; i < kBoundCount; ++i) {
    sliders_[i] = {this, i};
    const SliderRange range = sliderRange(i);
    cv::createTrackbar(kSliderLabels[i], "", nullptr, range.max, onSlider, &sliders_[i]);
    cv::setTrackbarMin(kSliderLabels[i], "", range.min);
    cv::setTrackbarPos(kSliderLabels[i], "", boundAt(start_, i));
  }
  sliders_[kBoundCount] = {this, kBoundCount};
  cv::createTrackbar(kViewSliderLabel, "", nullptr, kViewCount - 1, onSlider,
                     &sliders_[kBoundCount]);
  listening_ = true;
  cv::setMouseCallback(kMaskWindow, onMouseInMask, this);
  cv::setMouseCallback(kImageWindow, onMouseInImage, this);
  showReadouts();
}

WaitEnding TuningSession::waitForEnd() {
  // A moved slider is computed once the events already queued are handled,
  // together with any other slider moves among them.
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

bool TuningSession::boundsChanged() const { return moved_ && !(current_ == start_); }

void TuningSession::onSlider(int position, void* slider) {
  const Slider& s = *static_cast<Slider*>(slider);
  TuningSession& session = *s.session;
  if (!session.listening_) return;
  session.stale_ = true;
  if (s.index == kBoundCount) {
    session.wantedView_ = static_cast<MaskView>(position);
  } else {
    boundAt(session.wanted_, s.index) = position;
    session.moved_ = true;
  }
  if (session.wait_ != nullptr) session.wait_->workPending();
}

void TuningSession::onMouseInMask(int, int x, int y, int, void* session) {
  withoutThrowing([&] { static_cast<TuningSession*>(session)->hover(kMaskWindow, x, y); });
}

void TuningSession::onMouseInImage(int, int x, int y, int, void* session) {
  withoutThrowing([&] { static_cast<TuningSession*>(session)->hover(kImageWindow, x, y); });
}

void TuningSession::hover(const char* window, int x, int y) {
  if (x < 0 || y < 0 || x >= hls_.cols || y >= hls_.rows) return;
  hover_ = {window, x, y};
  showReadouts();
}

void TuningSession::showReadouts() {
  std::string maskText = passText_;
  if (hover_.window != nullptr) {
    const std::string pixel = pixelReadout(hover_.x, hover_.y, hls_.at<cv::Vec3b>(hover_.y, hover_.x),
                                           mask_.at<std::uint8_t>(hover_.y, hover_.x) != kOther);
    if (hover_.window == kMaskWindow) {
      maskText = pixel + " | " + passText_;
    } else {
      cv::displayStatusBar(kImageWindow, pixel, 0);
    }
  }
  cv::displayStatusBar(kMaskWindow, maskText, 0);
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
  }
  view_ = wantedView_;
  showView();
  showReadouts();
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

}  // namespace tesmic
