#include "codec/displayable_image.h"

#include <cmath>

#include <gtest/gtest.h>
#include <opencv2/core.hpp>

namespace tesmic {
namespace {

TEST(ToBgr8, AnyDepthAndChannelCountBecomesEightBitBgr) {
  // Floating point from 0..1, saturated at both ends; NaN is 0.
  cv::Mat grey(1, 5, CV_32FC1);
  grey.at<float>(0) = 0.0f;
  grey.at<float>(1) = 0.5f;
  grey.at<float>(2) = 1.0f;
  grey.at<float>(3) = -3.0f;
  grey.at<float>(4) = std::nanf("");
  // Half precision alike.
  cv::Mat half;
  grey.convertTo(half, CV_16F);
  for (const cv::Mat& source : {grey, half}) {
    const cv::Mat fromFloat = toBgr8(source);
    ASSERT_EQ(fromFloat.type(), CV_8UC3);
    const int expected[] = {0, 128, 255, 0, 0};
    for (int x = 0; x < 5; ++x) {
      EXPECT_EQ(fromFloat.at<cv::Vec3b>(0, x), cv::Vec3b::all(static_cast<uchar>(expected[x])))
          << "at " << x << " of depth " << source.depth();
    }
  }

  // 16 bits with alpha: divided by 256, alpha dropped, channel order kept.
  const cv::Mat deep(2, 2, CV_16UC4, cv::Scalar(0x1234, 0x5678, 0xFFFF, 0x0100));
  const cv::Mat fromDeep = toBgr8(deep);
  ASSERT_EQ(fromDeep.type(), CV_8UC3);
  EXPECT_EQ(fromDeep.at<cv::Vec3b>(1, 1), cv::Vec3b(0x12, 0x56, 0xFF));

  // Grey with alpha: the grey in all three.
  const cv::Mat greyAlpha(1, 1, CV_8UC2, cv::Scalar(77, 200));
  EXPECT_EQ(toBgr8(greyAlpha).at<cv::Vec3b>(0, 0), cv::Vec3b::all(77));

  // Signed 16 bits: shifted to the middle.
  EXPECT_EQ(toBgr8(cv::Mat(1, 1, CV_16SC3, cv::Scalar(-32768, 0, 32767))).at<cv::Vec3b>(0, 0),
            cv::Vec3b(0, 128, 255));

  // Already right: the same pixels, not a copy.
  const cv::Mat bgr(3, 3, CV_8UC3, cv::Scalar(1, 2, 3));
  EXPECT_EQ(toBgr8(bgr).data, bgr.data);
  EXPECT_TRUE(toBgr8(cv::Mat()).empty());
}

}  // namespace
}  // namespace tesmic
