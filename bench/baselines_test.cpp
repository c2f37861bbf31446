// The baselines the pass is timed against must compute what they claim, or
// the ratios compare unlike work. These run before every `make bench`.
#include <climits>
#include <cstdint>
#include <vector>

#include <gtest/gtest.h>
#include <opencv2/core.hpp>

#include "baseline_classifiers.h"
#include "colour_classification.h"
#include "streaming_bound.h"

namespace tesmic::bench {
namespace {

constexpr std::uint8_t kUntouched = 0x5A;

// Every value in every channel, and every hue/lightness pair.
cv::Mat everyValueImage() {
  cv::Mat hls(256, 256, CV_8UC3);
  for (int y = 0; y < 256; ++y) {
    for (int x = 0; x < 256; ++x) {
      const auto byte = [](int v) { return static_cast<std::uint8_t>(v); };
      hls.at<cv::Vec3b>(y, x) =
          cv::Vec3b(byte(x), byte(y), byte(x * 7 + y * 13));
    }
  }
  return hls;
}

// The rule evaluated pixel by pixel through at<>, independent of any loop
// under test.
cv::Mat expectedMask(const cv::Mat& hls, const DetectionBounds& b) {
  cv::Mat mask(hls.size(), CV_8UC1);
  for (int y = 0; y < hls.rows; ++y) {
    for (int x = 0; x < hls.cols; ++x) {
      const cv::Vec3b p = hls.at<cv::Vec3b>(y, x);
      mask.at<std::uint8_t>(y, x) =
          isSoughtColour(p[0], p[1], p[2], b) ? kSought : kOther;
    }
  }
  return mask;
}

std::int64_t differingPixels(const cv::Mat& a, const cv::Mat& b) {
  return cv::countNonZero(a != b);
}

std::vector<DetectionBounds> boundsToTry() {
  std::vector<DetectionBounds> all = {
      {175, 30, 160, 240, 90, 0},    // the built-in example
      {10, 200, 160, 240, 90, 0},    // HL > HH: every hue passes
      {255, 30, 160, 240, 90, 0},    // no high hue band
      {175, 0, 160, 240, 90, 0},     // no low hue band
      {300, -5, 160, 240, 90, 0},    // no hue passes
      {175, 30, 160, 161, 90, 0},    // no lightness between SH and SL
      {175, 30, 160, 240, 255, 0},   // no saturation above 255
      {175, 30, 10, 240, 90, 200},   // VL, not SH, is the lower lightness
      {175, 30, -1, 256, -1, -1},    // lightness and saturation unbounded
      {INT_MAX, INT_MIN, INT_MIN, INT_MAX, INT_MIN, INT_MIN},
      {INT_MIN, INT_MAX, INT_MAX, INT_MIN, INT_MAX, INT_MAX},
      {254, 1, 0, 255, 0, 0},
  };
  // And a spread of others around the byte range's edges.
  const int edges[] = {INT_MIN, -1, 0, 1, 29, 128, 254, 255, 256, INT_MAX};
  cv::RNG rng(77);
  for (int i = 0; i < 200; ++i) {
    const auto pick = [&] { return edges[rng.uniform(0, 10)]; };
    all.push_back({pick(), pick(), pick(), pick(), pick(), pick()});
  }
  return all;
}

TEST(InRangeComposition, MatchesTheRuleForEveryBounds) {
  const cv::Mat hls = everyValueImage();
  InRangeScratch scratch;
  for (const DetectionBounds& b : boundsToTry()) {
    cv::Mat mask(hls.size(), CV_8UC1, cv::Scalar(kUntouched));
    classifyWithInRange(hls, mask, b, scratch);
    EXPECT_EQ(differingPixels(mask, expectedMask(hls, b)), 0)
        << "bounds " << b.HH << " " << b.HL << " " << b.SH << " " << b.SL
        << " " << b.VH << " " << b.VL;
  }
}

TEST(InRangeComposition, WritesOnlyItsViewAndSurvivesScratchOfAnotherSize) {
  cv::Mat big(40, 90, CV_8UC3);
  cv::RNG(3).fill(big, cv::RNG::UNIFORM, 0, 256);
  InRangeScratch scratch;
  scratch.lowHue = cv::Mat(100, 100, CV_8UC1, cv::Scalar(0));
  scratch.highHue = cv::Mat(3, 3, CV_8UC1, cv::Scalar(0));
  const DetectionBounds b{175, 30, 100, 240, 40, 0};

  cv::Mat bigMask(40, 90, CV_8UC1, cv::Scalar(kUntouched));
  const cv::Rect inside(5, 3, 61, 30);
  cv::Mat view = bigMask(inside);
  classifyWithInRange(big(inside), view, b, scratch);

  ASSERT_EQ(view.data, bigMask.ptr(3) + 5) << "the view was reallocated";
  EXPECT_EQ(differingPixels(view, expectedMask(big(inside), b)), 0);
  cv::Mat outside = bigMask.clone();
  outside(inside).setTo(cv::Scalar(kUntouched));
  EXPECT_EQ(cv::countNonZero(outside != kUntouched), 0);
}

TEST(LiteralLoop, FollowsEachImagesStrideAndStaysInItsView) {
  cv::Mat big(20, 50, CV_8UC3);
  cv::RNG(4).fill(big, cv::RNG::UNIFORM, 0, 256);
  const DetectionBounds b{175, 30, 100, 240, 40, 0};
  cv::Mat bigMask(30, 70, CV_8UC1, cv::Scalar(kUntouched));
  const cv::Mat hls = big(cv::Rect(3, 2, 33, 15));
  cv::Mat view = bigMask(cv::Rect(11, 7, 33, 15));

  classifyLiteral(hls, view, b);

  EXPECT_EQ(differingPixels(view, expectedMask(hls, b)), 0);
  EXPECT_EQ(cv::countNonZero(bigMask != kUntouched),
            cv::countNonZero(view != kUntouched));
}

cv::Mat channelOr(const cv::Mat& hls) {
  cv::Mat out(hls.size(), CV_8UC1);
  for (int y = 0; y < hls.rows; ++y) {
    for (int x = 0; x < hls.cols; ++x) {
      const cv::Vec3b p = hls.at<cv::Vec3b>(y, x);
      out.at<std::uint8_t>(y, x) =
          static_cast<std::uint8_t>(p[0] | p[1] | p[2]);
    }
  }
  return out;
}

// Rows starting at every offset from a vector boundary, widths around whole
// vectors: the non-temporal kernel must store singly up to an aligned byte.
TEST(StreamingBound, WritesTheChannelOrOnUnalignedViewsInBothStyles) {
  cv::Mat big(9, 300, CV_8UC3);
  cv::RNG(5).fill(big, cv::RNG::UNIFORM, 0, 256);
  for (const StoreStyle style : {StoreStyle::Plain, StoreStyle::NonTemporal}) {
    for (int offset = 0; offset < 70; offset += 3) {
      for (const int width : {1, 31, 63, 64, 65, 129, 200}) {
        cv::Mat bigMask(9, 300, CV_8UC1, cv::Scalar(kUntouched));
        const cv::Mat hls = big(cv::Rect(offset % 7, 1, width, 7));
        cv::Mat view = bigMask(cv::Rect(offset, 1, width, 7));

        streamingBound(hls, view, style);

        const cv::Mat expected = channelOr(hls);
        EXPECT_EQ(differingPixels(view, expected), 0)
            << "offset " << offset << " width " << width;
        cv::Mat outside = bigMask.clone();
        outside(cv::Rect(offset, 1, width, 7)).setTo(cv::Scalar(kUntouched));
        EXPECT_EQ(cv::countNonZero(outside != kUntouched), 0)
            << "wrote outside its view at offset " << offset;
      }
    }
  }
}

}  // namespace
}  // namespace tesmic::bench
