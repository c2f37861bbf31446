// The steps of undo and redo over the bounds.
#pragma once

#include <optional>
#include <vector>

#include "pass/detection_bounds.h"

namespace tesmic {

// The bounds after each step the user took (a slider dragged and let go, a
// value typed, a reset, a fit to a sample), the first being where the run
// started, and which of them is the present one.
class BoundsHistory {
 public:
  explicit BoundsHistory(const DetectionBounds& start) : steps_{start} {}

  // A new step to these bounds, unless they are the present ones; the steps
  // undone before it can no longer be redone. Returns whether it was taken.
  bool record(const DetectionBounds& bounds);

  // The bounds one step back or forward, which become the present ones;
  // nothing when there is no such step.
  std::optional<DetectionBounds> undo();
  std::optional<DetectionBounds> redo();

  const DetectionBounds& present() const { return steps_[present_]; }
  bool canUndo() const { return present_ > 0; }
  bool canRedo() const { return present_ + 1 < steps_.size(); }

 private:
  std::vector<DetectionBounds> steps_;
  std::size_t present_ = 0;
};

}  // namespace tesmic
