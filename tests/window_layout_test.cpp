#include "ui/window_layout.h"

#include <algorithm>
#include <string>

#include <gtest/gtest.h>
#include <opencv2/core.hpp>

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

  // One fits, two do not: both scaled alike until they fit apart.
  const WindowLayout large = layoutWindows({1500, 900}, desktop);
  EXPECT_FALSE(overlapping(large));
  EXPECT_TRUE(sideBySide(large));
  EXPECT_LT(shownScale(large, {1500, 900}), 1.0);
  EXPECT_EQ(large.orig.view, large.vysledek.view);
  expectInside(large, desktop);

  // Apart, they would be under kMinWholeView thick: they overlap, each
  // whole, the mask's left uncovered.
  const ScreenArea tiny{0, 0, 400, 300};
  const WindowLayout crowded = layoutWindows({640, 480}, tiny);
  EXPECT_TRUE(overlapping(crowded));
  EXPECT_GE(crowded.orig.view.height, kMinWholeView);
  EXPECT_GT(crowded.orig.position.x, crowded.vysledek.position.x);
  expectInside(crowded, tiny);

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
  const WindowLayout framed = layoutWindows({1400, 900}, {0, 0, 500, 400}, frame);
  EXPECT_TRUE(overlapping(framed, frame));
  EXPECT_EQ(framed.orig.position + cv::Point(framed.orig.view.width + 20,
                                             framed.orig.view.height + 70 + kWindowChromeHeight),
            cv::Point(500, 400));
}

// The control panel beside the windows: where the area leaves room, the
// windows stay as they were; where it does not, they are laid out smaller
// in the rest of it. Never does the panel cover a window, nor leave the
// area when it fits in it.
TEST(WindowLayout, ThePanelGoesBesideTheWindowsWhichMakeRoomForIt) {
  const cv::Size panel(420, 560);
  const auto panelRect = [&](const WindowLayout& l) {
    return cv::Rect(*l.panel, panel + cv::Size(2 * kFrameSide, kFrameTop + kFrameSide));
  };
  const auto expectApart = [&](const WindowLayout& l, const ScreenArea& a) {
    ASSERT_TRUE(l.panel);
    expectInside(l, a);
    const cv::Rect p = panelRect(l);
    EXPECT_EQ(p & cv::Rect(a.x, a.y, a.width, a.height), p);
    EXPECT_TRUE((p & outer(l.orig)).empty()) << p << " covers ORIG";
    EXPECT_TRUE((p & outer(l.vysledek)).empty()) << p << " covers Vysledek";
  };

  const ScreenArea wide{0, 0, 2560, 1410};
  const WindowLayout roomy = layoutWindows({800, 600}, wide, kAssumedFrame, panel);
  expectApart(roomy, wide);
  EXPECT_EQ(roomy.orig.view, layoutWindows({800, 600}, wide).orig.view);
  EXPECT_GT(roomy.panel->x, outer(roomy.vysledek).x) << "not beside the windows";
  // A wide pair leaves room below it.
  const WindowLayout low = layoutWindows({1200, 300}, wide, kAssumedFrame, panel);
  expectApart(low, wide);
  EXPECT_EQ(low.orig.view, cv::Size(1200, 300));
  EXPECT_GT(low.panel->y, outer(low.vysledek).y) << "not below the windows";

  // A laptop's 1366x768 with a panel of 30 pixels: the 800x600 pair shrinks.
  const ScreenArea laptop{0, 0, 1366, 738};
  for (const cv::Size image : {cv::Size(800, 600), cv::Size(640, 480), cv::Size(6000, 1000),
                               cv::Size(3000, 300), cv::Size(300, 2000)}) {
    SCOPED_TRACE(std::to_string(image.width) + "x" + std::to_string(image.height));
    const WindowLayout l = layoutWindows(image, laptop, kAssumedFrame, panel);
    expectApart(l, laptop);
    EXPECT_EQ(l.orig.view, l.vysledek.view);
    EXPECT_FALSE(overlapping(l));
    EXPECT_LE(shownScale(l, image), shownScale(layoutWindows(image, laptop), image));
  }
}

}  // namespace
}  // namespace tesmic
