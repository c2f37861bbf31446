#include "ui/window_layout.h"

#include <algorithm>
#include <string>

#include <gtest/gtest.h>

namespace tesmic {
namespace {

// A window with the frame it was laid out for.
cv::Rect outer(const WindowPlace& w, const FrameExtents& f = kAssumedFrame) {
  return {w.position.x, w.position.y, w.view.width + f.left + f.right,
          w.view.height + f.top + f.bottom + kWindowChromeHeight};
}

// Vysledek's frame right of ORIG's, tops aligned.
bool sideBySide(const WindowLayout& l) {
  return outer(l.vysledek).x >= outer(l.orig).br().x && l.vysledek.position.y == l.orig.position.y;
}

// Vysledek's frame below ORIG's, left edges aligned.
bool stacked(const WindowLayout& l) {
  return outer(l.vysledek).y >= outer(l.orig).br().y && l.vysledek.position.x == l.orig.position.x;
}

bool overlapping(const WindowLayout& l, const FrameExtents& f = kAssumedFrame) {
  return !(outer(l.orig, f) & outer(l.vysledek, f)).empty();
}

// How much the image is shrunk, from the height of its view (never widened
// for the status bar as the width is).
double shownScale(const WindowLayout& l, cv::Size image) {
  return static_cast<double>(l.orig.view.height) / image.height;
}

void expectInside(const WindowLayout& l, const ScreenArea& a) {
  const cv::Rect area(a.x, a.y, a.width, a.height);
  EXPECT_EQ(outer(l.orig) & area, outer(l.orig));
  EXPECT_EQ(outer(l.vysledek) & area, outer(l.vysledek));
}

TEST(WindowLayout, ImagesThatFitAreShownOneToOne) {
  const ScreenArea desktop{0, 30, 1920, 1170};  // a panel along the top
  const WindowLayout small = layoutWindows({800, 600}, desktop);
  EXPECT_EQ(small.orig.view, cv::Size(800, 600));
  EXPECT_TRUE(sideBySide(small));
  expectInside(small, desktop);

  const WindowLayout wide = layoutWindows({1600, 400}, desktop);
  EXPECT_EQ(wide.orig.view, cv::Size(1600, 400));
  EXPECT_TRUE(stacked(wide));
  expectInside(wide, desktop);

  // One fits, two do not: both in view, the mask's top and left uncovered.
  const WindowLayout large = layoutWindows({1500, 900}, desktop);
  EXPECT_TRUE(overlapping(large));
  EXPECT_EQ(large.orig.view, cv::Size(1500, 900));
  EXPECT_GT(large.orig.position.x, large.vysledek.position.x);
  EXPECT_GT(large.orig.position.y - large.vysledek.position.y, kFrameTop);
  expectInside(large, desktop);

  // Too narrow for the status bar: the view is wider, the image still 1:1.
  EXPECT_EQ(layoutWindows({1, 500}, desktop).orig.view, cv::Size(kMinViewWidth, 500));
}

TEST(WindowLayout, LargerImagesAreScaledAlikeToTheLargerArrangement) {
  const ScreenArea desktop{0, 0, 1920, 1200};
  const WindowLayout uhd = layoutWindows({3840, 2160}, desktop);
  const double scale = shownScale(uhd, {3840, 2160});
  EXPECT_LT(scale, 1.0);
  EXPECT_EQ(uhd.orig.view, uhd.vysledek.view);
  // Side by side 0.248 of the width, stacked 0.237 of the height: the former.
  EXPECT_TRUE(sideBySide(uhd));
  // Each side rounded down on its own.
  EXPECT_NEAR(uhd.orig.view.width, 3840 * scale, 2.0);
  expectInside(uhd, desktop);

  EXPECT_TRUE(stacked(layoutWindows({4000, 1000}, desktop)));

  // Whatever the image, both windows lie in the area and do not overlap.
  for (const cv::Size image : {cv::Size(4000, 3000), cv::Size(12000, 900), cv::Size(300, 9000),
                               cv::Size(1919, 1199), cv::Size(16000, 16000)}) {
    SCOPED_TRACE(std::to_string(image.width) + "x" + std::to_string(image.height));
    const WindowLayout l = layoutWindows(image, desktop);
    EXPECT_LT(shownScale(l, image), 1.0);
    expectInside(l, desktop);
    EXPECT_FALSE(overlapping(l));
  }
}

// Scaled below a few pixels, a view keeps that thickness and the image is
// stretched across it; a frame the window manager reports is the room kept.
TEST(WindowLayout, ThinImagesStayVisibleAndReportedFramesAreKept) {
  const ScreenArea desktop{0, 0, 1920, 1080};
  for (const cv::Size image : {cv::Size(1, 100000), cv::Size(100000, 1), cv::Size(100000, 10)}) {
    SCOPED_TRACE(std::to_string(image.width) + "x" + std::to_string(image.height));
    const WindowLayout l = layoutWindows(image, desktop);
    EXPECT_TRUE(l.stretched);
    EXPECT_GE(std::min(l.orig.view.width, l.orig.view.height), kMinViewThickness);
    expectInside(l, desktop);
  }
  EXPECT_FALSE(layoutWindows({800, 600}, desktop).stretched);

  // Overlapping: ORIG's frame ends in the area's corner.
  const FrameExtents frame{10, 60, 10, 10};
  const WindowLayout framed = layoutWindows({1400, 900}, desktop, frame);
  EXPECT_TRUE(overlapping(framed, frame));
  EXPECT_EQ(framed.orig.position + cv::Point(1400 + 20, 900 + 70 + kWindowChromeHeight),
            cv::Point(1920, 1080));
}

}  // namespace
}  // namespace tesmic
