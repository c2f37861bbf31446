#include "ui/bounds_history.h"

namespace tesmic {

bool BoundsHistory::record(const DetectionBounds& bounds) {
  if (bounds == present()) return false;
  steps_.resize(present_ + 1);
  steps_.push_back(bounds);
  ++present_;
  return true;
}

std::optional<DetectionBounds> BoundsHistory::undo() {
  if (!canUndo()) return std::nullopt;
  return steps_[--present_];
}

std::optional<DetectionBounds> BoundsHistory::redo() {
  if (!canRedo()) return std::nullopt;
  return steps_[++present_];
}

}  // namespace tesmic
