#include "pass/hls_histograms.h"

#include <gtest/gtest.h>
#include <opencv2/core.hpp>

#include "reference_rule.h"

namespace tesmic {
namespace {

// The counts pixel by pixel from the reference rule's tests, against the
// pass's on an image split between threads, of odd width, seen through a
// view into a larger one, from every row and from every third; a set of
// bounds where no pixel passes lightness leaves the other channels' counts
// empty.
TEST(HlsHistograms, CountsMatchTheRuleChannelByChannel) {
  cv::Mat larger(483, 643, CV_8UC3);
  cv::randu(larger, 0, 256);
  // Few distinct hues in a band, as in a photograph, for the runs of equal values.
  larger.rowRange(0, 40).setTo(cv::Scalar(3, 200, 250));
  const cv::Mat hls = larger(cv::Rect(1, 1, 641, 481));  // a third still split
  WorkerPool workers(2);

  HlsCounts all{};
  for (int y = 0; y < hls.rows; ++y) {
    for (int x = 0; x < hls.cols; ++x) {
      const cv::Vec3b p = hls.at<cv::Vec3b>(y, x);
      for (int c = 0; c < kHlsChannels; ++c) ++all[c][p[c]];
    }
  }
  EXPECT_EQ(channelCounts(hls, workers), all);

  for (const DetectionBounds& b : {DetectionBounds{175, 30, 60, 240, 90, 0},
                                   DetectionBounds{100, 120, 20, 200, 30, 150},
                                   DetectionBounds{175, 30, 200, 100, 90, 0}}) {
    HlsCounts expected{};
    for (int y = 0; y < hls.rows; ++y) {
      for (int x = 0; x < hls.cols; ++x) {
        const cv::Vec3b p = hls.at<cv::Vec3b>(y, x);
        const bool h = reference::hueOutsideBand(p[0], b);
        const bool l = reference::lightnessBetween(p[1], b);
        const bool s = reference::saturationAbove(p[2], b);
        expected[0][p[0]] += l && s;
        expected[1][p[1]] += h && s;
        expected[2][p[2]] += h && l;
      }
    }
    EXPECT_EQ(countsPassingOthers(hls, b, workers), expected) << b.HH << " " << b.SH;
    // Every third row of the view.
    HlsCounts third{};
    for (int y = 0; y < hls.rows; y += 3) {
      for (int x = 0; x < hls.cols; ++x) {
        const cv::Vec3b p = hls.at<cv::Vec3b>(y, x);
        third[0][p[0]] += reference::lightnessBetween(p[1], b) && reference::saturationAbove(p[2], b);
        third[1][p[1]] += reference::hueOutsideBand(p[0], b) && reference::saturationAbove(p[2], b);
        third[2][p[2]] += reference::hueOutsideBand(p[0], b) && reference::lightnessBetween(p[1], b);
      }
    }
    EXPECT_EQ(countsPassingOthers(hls, b, workers, 3), third);
    const auto passing = passingValues(b);
    for (int v = 0; v < 256; ++v) {
      ASSERT_EQ(passing[1][v], reference::lightnessBetween(v, b)) << v;
    }
  }
}

}  // namespace
}  // namespace tesmic
