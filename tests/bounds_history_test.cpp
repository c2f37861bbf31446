#include "ui/bounds_history.h"

#include <gtest/gtest.h>

namespace tesmic {
namespace {

TEST(BoundsHistory, UndoRedoAndANewStepAfterUndo) {
  const DetectionBounds a{175, 30, 160, 240, 90, 0};
  const DetectionBounds b{100, 30, 160, 240, 90, 0};
  const DetectionBounds c{100, 30, 60, 240, 90, 0};
  const DetectionBounds d{100, 30, 60, 240, 10, 0};
  BoundsHistory history(a);
  EXPECT_FALSE(history.undo());
  EXPECT_TRUE(history.record(b));
  EXPECT_TRUE(history.record(c));
  EXPECT_EQ(history.undo(), b);
  EXPECT_EQ(history.undo(), a);
  EXPECT_FALSE(history.undo());
  EXPECT_EQ(history.present(), a);
  EXPECT_EQ(history.redo(), b);
  // The present bounds again (a drag let go where it began) are no step and
  // keep what can be redone.
  EXPECT_FALSE(history.record(b));
  EXPECT_TRUE(history.canRedo());
  // A new step drops the undone ones.
  EXPECT_TRUE(history.record(d));
  EXPECT_FALSE(history.redo());
  EXPECT_EQ(history.undo(), b);
  EXPECT_EQ(history.redo(), d);
}

}  // namespace
}  // namespace tesmic
