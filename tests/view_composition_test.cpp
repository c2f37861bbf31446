#include "pass/view_composition.h"

#include <gtest/gtest.h>

#include <opencv2/core.hpp>

namespace tesmic {
namespace {

// Widths around every vector length, so that the vector loop and the tail
// both run; a view into a larger image, so that the row strides differ.
TEST(ViewComposition, EveryPixelOfBothViewsAtAnyWidth) {
  for (const int width : {1, 15, 17, 63, 67, 130}) {
    SCOPED_TRACE(width);
    const cv::Mat pictureArea(5, width + 3, CV_8UC3);
    cv::randu(pictureArea, 0, 256);
    const cv::Mat picture = pictureArea.colRange(1, width + 1);
    cv::Mat mask(5, width, CV_8UC1);
    cv::randu(mask, 0, 2);
    mask *= 255;
    for (const MaskView view : {MaskView::kMarked, MaskView::kTinted}) {
      cv::Mat shown;
      composeView(view, picture, mask, shown);
      ASSERT_EQ(shown.size(), picture.size());
      for (int y = 0; y < picture.rows; ++y) {
        for (int x = 0; x < width; ++x) {
          const bool marked = mask.at<uchar>(y, x) != 0;
          for (int c = 0; c < 3; ++c) {
            const int p = picture.at<cv::Vec3b>(y, x)[c];
            const int expected = view == MaskView::kMarked ? (marked ? p : 0)
                                                           : (marked ? (p + kTint[c] + 1) / 2 : p);
            ASSERT_EQ(shown.at<cv::Vec3b>(y, x)[c], expected) << x << "," << y << " channel " << c;
          }
        }
      }
    }
  }
}

}  // namespace
}  // namespace tesmic
