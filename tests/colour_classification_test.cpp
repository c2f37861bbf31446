#include "pass/colour_classification.h"
#include "pass/colour_classification_detail.h"
#include "reference_rule.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <hwy/targets.h>
#include <opencv2/core.hpp>
#include <hwy/tests/hwy_gtest.h>

namespace tesmic {
namespace {

constexpr DetectionBounds kExample{175, 30, 160, 240, 90, 0};

// Every one of the 2^24 colours once: hue, lightness, saturation.
const cv::Mat& allColours() {
  static const cv::Mat image = [] {
    cv::Mat m(4096, 4096, CV_8UC3);
    std::uint32_t colour = 0;
    for (int y = 0; y < m.rows; ++y) {
      auto* p = m.ptr<std::uint8_t>(y);
      for (int x = 0; x < m.cols; ++x, ++colour, p += 3) {
        p[0] = static_cast<std::uint8_t>(colour);
        p[1] = static_cast<std::uint8_t>(colour >> 8);
        p[2] = static_cast<std::uint8_t>(colour >> 16);
      }
    }
    return m;
  }();
  return image;
}

// The reference mask of allColours(), built per channel: in its order of
// colours each run of 256 hues shares one lightness and one saturation, so
// a run is the hue table where both of those pass and black elsewhere. As
// fast as a copy, where the rule pixel by pixel takes a tenth of a second.
cv::Mat referenceOverAllColours(const DetectionBounds& b) {
  std::uint8_t hues[256];
  bool lightness[256], saturation[256];
  for (int v = 0; v < 256; ++v) {
    hues[v] = reference::hueOutsideBand(v, b) ? 255 : 0;
    lightness[v] = reference::lightnessBetween(v, b);
    saturation[v] = reference::saturationAbove(v, b);
  }
  cv::Mat mask(allColours().size(), CV_8UC1);
  std::uint8_t* run = mask.data;
  for (int s = 0; s < 256; ++s) {
    for (int l = 0; l < 256; ++l, run += 256) {
      if (lightness[l] && saturation[s]) {
        std::memcpy(run, hues, 256);
      } else {
        std::memset(run, 0, 256);
      }
    }
  }
  return mask;
}

std::string describe(const DetectionBounds& b) {
  return "HH=" + std::to_string(b.HH) + " HL=" + std::to_string(b.HL) +
         " SH=" + std::to_string(b.SH) + " SL=" + std::to_string(b.SL) +
         " VH=" + std::to_string(b.VH) + " VL=" + std::to_string(b.VL);
}

// Position of the first pixel where two masks differ, or "" when equal.
// Whole buffers compared first: the masks over all colours are compared
// hundreds of times, and almost always equal.
std::string firstDifference(const cv::Mat& a, const cv::Mat& b,
                            const cv::Mat& hls) {
  if (a.isContinuous() && b.isContinuous() &&
      std::memcmp(a.data, b.data, a.total()) == 0) {
    return "";
  }
  const cv::Mat differs = a != b;
  if (cv::countNonZero(differs) == 0) return "";
  std::vector<cv::Point> where;
  cv::findNonZero(differs, where);
  const cv::Point at = where.front();
  const cv::Vec3b c = hls.at<cv::Vec3b>(at);
  return "colour (" + std::to_string(c[0]) + ", " + std::to_string(c[1]) + ", " +
         std::to_string(c[2]) + "): " + std::to_string(a.at<std::uint8_t>(at)) + " vs " +
         std::to_string(b.at<std::uint8_t>(at));
}

// The edges of the rule, every bound alone at the values where byte and int
// comparisons part ways, and random sets.
std::vector<DetectionBounds> boundSets() {
  std::vector<DetectionBounds> sets = {
      kExample,
      {50, 100, 160, 240, 90, 0},      // HL above HH: every hue passes
      {255, 0, 160, 240, 90, 0},       // HL 0, HH 255: no hue passes
      {175, 30, 100, 101, 90, 0},      // SL = SH + 1: nothing between
      {175, 30, 100, 102, 90, 0},      // exactly one lightness
      {175, 30, 160, 240, 255, 0},     // VH 255: nothing
      {175, 30, 160, 240, 90, 239},    // VL = SL - 1: nothing
      {175, 30, -1, 256, -1, -1},      // everything but the hue band
      {-1, 256, -1, 256, -1, -1},      // HL above HH again, beyond bytes
      {INT_MIN, INT_MAX, INT_MIN, INT_MAX, INT_MIN, INT_MIN},  // all pass
      {INT_MAX, INT_MIN, INT_MAX, INT_MIN, INT_MAX, INT_MAX},  // none pass
      {100, 100, 10, 200, 0, 10},      // a single excluded hue
  };
  const int interesting[] = {-1, 0, 1, 254, 255, 256, INT_MIN, INT_MAX};
  for (int field = 0; field < 6; ++field) {
    for (const int v : interesting) {
      DetectionBounds b = kExample;
      int* bound[] = {&b.HH, &b.HL, &b.SH, &b.SL, &b.VH, &b.VL};
      *bound[field] = v;
      sets.push_back(b);
    }
  }
  std::mt19937 rng(20261207);
  std::uniform_int_distribution<int> near(-20, 275);
  std::uniform_int_distribution<int> pick(0, 9);
  auto draw = [&] {
    const int choice = pick(rng);
    if (choice == 0) return static_cast<int>(rng());  // anywhere in int
    return near(rng);
  };
  for (int i = 0; i < 10; ++i) {
    sets.push_back({draw(), draw(), draw(), draw(), draw(), draw()});
  }
  return sets;
}

// The pass's verdict for one pixel under the given bounds.
bool sought(int hue, int lightness, int saturation, const DetectionBounds& b) {
  return passesThresholds(static_cast<std::uint8_t>(hue), static_cast<std::uint8_t>(lightness),
                          static_cast<std::uint8_t>(saturation), byteThresholdsFor(b));
}

TEST(PixelVerdict, ExampleBoundsOnChosenColours) {
  EXPECT_TRUE(sought(0, 200, 255, kExample));
  EXPECT_TRUE(sought(179, 161, 91, kExample));
  EXPECT_TRUE(sought(29, 239, 91, kExample));
  EXPECT_FALSE(sought(30, 200, 255, kExample));   // hue = HL
  EXPECT_FALSE(sought(175, 200, 255, kExample));  // hue = HH
  EXPECT_FALSE(sought(100, 200, 255, kExample));  // inside the band
  EXPECT_FALSE(sought(0, 160, 255, kExample));    // lightness = SH
  EXPECT_FALSE(sought(0, 240, 255, kExample));    // lightness = SL
  EXPECT_FALSE(sought(0, 200, 90, kExample));     // saturation = VH
}

TEST(PixelVerdict, VlIsComparedWithLightness) {
  const DetectionBounds b{175, 30, -1, 256, -1, 100};
  EXPECT_FALSE(sought(0, 100, 255, b));
  EXPECT_TRUE(sought(0, 101, 0, b));
  // A negative SH admits lightness 0.
  EXPECT_TRUE(sought(0, 0, 255, {175, 30, -1, 256, -1, -1}));
}

TEST(ByteThresholds, DescribeWhatPasses) {
  const ByteThresholds t = byteThresholdsFor(kExample);
  EXPECT_FALSE(t.matchesNothing);
  // Hues 176..255 and 0..29: 110 values starting at 176, wrapping.
  EXPECT_EQ(t.start[0], 176);
  EXPECT_EQ(t.span[0], 109);
  EXPECT_EQ(t.start[1], 161);  // lightness 161..239
  EXPECT_EQ(t.span[1], 78);
  EXPECT_EQ(t.start[2], 91);  // saturation 91..255
  EXPECT_EQ(t.span[2], 164);

  EXPECT_TRUE(byteThresholdsFor({255, 0, 0, 255, 0, 0}).matchesNothing);
  EXPECT_TRUE(byteThresholdsFor({175, 30, 0, 255, 255, 0}).matchesNothing);
  EXPECT_TRUE(byteThresholdsFor({175, 30, 5, 6, 0, 0}).matchesNothing);
}

// Every instruction set that the build compiled, each in turn.
class ClassifyPixels : public hwy::TestWithParamTarget {};
HWY_TARGET_INSTANTIATE_TEST_SUITE_P(ClassifyPixels);

// Every bound set on every instruction set the build compiled, split between
// threads (more than this machine may have, so that pieces go every way),
// and on one thread on the first instruction set: how the rows are cut does
// not depend on it. One test, so that each reference is computed once. The
// kernels see only the bounds' thresholds: bounds whose thresholds came
// before are checked on the first instruction set alone, which checks their
// thresholds, and the kernels have had those already.
TEST(ClassifyPixelsOnEveryTarget, MatchesTheReferenceOverAllColours) {
  const cv::Mat& colours = allColours();
  ASSERT_TRUE(splitsBetweenThreads(colours.size()));
  WorkerPool workers(3);
  cv::Mat mask(colours.size(), CV_8UC1);
  const std::vector<std::int64_t> everyTarget = hwy::SupportedAndGeneratedTargets();
  std::vector<ByteThresholds> seen;
  for (const DetectionBounds& b : boundSets()) {
    SCOPED_TRACE(describe(b));
    const cv::Mat expected = referenceOverAllColours(b);
    const ByteThresholds thresholds = byteThresholdsFor(b);
    const bool seenBefore = std::find(seen.begin(), seen.end(), thresholds) != seen.end();
    if (!seenBefore) seen.push_back(thresholds);
    const std::vector<std::int64_t> targets(everyTarget.begin(),
                                            seenBefore ? everyTarget.begin() + 1 : everyTarget.end());
    for (const std::int64_t target : targets) {
      SCOPED_TRACE(hwy::TargetName(target));
      hwy::SetSupportedTargetsForTest(target);
      mask.setTo(77);  // neither verdict, so an unwritten pixel shows
      classifyPixels(colours, mask, b, workers);
      EXPECT_EQ(firstDifference(mask, expected, colours), "") << "split between threads";
      if (target != everyTarget.front()) continue;
      mask.setTo(77);
      classifyPixels(colours, mask, b);
      EXPECT_EQ(firstDifference(mask, expected, colours), "") << "on one thread";
    }
  }
  hwy::SetSupportedTargetsForTest(0);
}

TEST_P(ClassifyPixels, EveryTailLengthInViewsWithPadding) {
  cv::theRNG().state = 7;
  constexpr std::uint8_t kPadding = 0x5A;
  constexpr int kRows = 3;
  // Bounds under which about a third of random colours pass.
  const DetectionBounds b{200, 60, 40, 220, 60, 0};
  for (int width = 1; width <= 130; ++width) {
    SCOPED_TRACE(width);
    // Views one pixel in from each edge of larger images.
    cv::Mat hlsParent(kRows + 2, width + 7, CV_8UC3);
    cv::randu(hlsParent, 0, 256);
    const cv::Mat hls = hlsParent(cv::Rect(1, 1, width, kRows));
    const cv::Rect maskArea(2, 1, width, kRows);
    cv::Mat maskParent(kRows + 2, width + 9, CV_8UC1, cv::Scalar(kPadding));
    cv::Mat mask = maskParent(maskArea);
    const cv::Mat before = hlsParent.clone();

    classifyPixels(hls, mask, b);

    EXPECT_EQ(firstDifference(mask, reference::referenceMask(hls, b), hls), "");
    EXPECT_EQ(cv::norm(hlsParent, before, cv::NORM_INF), 0.0);
    cv::Mat outside = maskParent.clone();
    outside(maskArea).setTo(kPadding);
    EXPECT_EQ(cv::countNonZero(outside != kPadding), 0)
        << "padding of the mask was written";
  }
}

// Large masks are stored past the caches, which needs aligned addresses:
// rows of a view start anywhere.
TEST_P(ClassifyPixels, LargeViewsWithUnalignedRows) {
  constexpr std::uint8_t kPadding = 0x5A;
  const cv::Rect area(3, 1, 2100, 2000);
  ASSERT_TRUE(usesStreamingStores(area.size()));
  cv::Mat hlsParent(2002, 2107, CV_8UC3);
  cv::theRNG().state = 11;
  cv::randu(hlsParent, 0, 256);
  const cv::Mat hls = hlsParent(area);
  cv::Mat maskParent(2002, 2107, CV_8UC1, cv::Scalar(kPadding));
  cv::Mat mask = maskParent(area);

  const DetectionBounds b{200, 60, 40, 220, 60, 0};
  classifyPixels(hls, mask, b);

  EXPECT_EQ(firstDifference(mask, reference::referenceMask(hls, b), hls), "");
  cv::Mat outside = maskParent.clone();
  outside(area).setTo(kPadding);
  EXPECT_EQ(cv::countNonZero(outside != kPadding), 0) << "padding of the mask was written";
}

// Streamed stores begin at the first aligned byte of a row: in rows narrower
// than a vector that byte may lie past the row's end.
TEST_P(ClassifyPixels, LargeViewsOfRowsNarrowerThanAVector) {
  constexpr std::uint8_t kPadding = 0x5A;
  const cv::Rect area(2, 0, 5, 900000);
  ASSERT_TRUE(usesStreamingStores(area.size()));
  const DetectionBounds b{200, 60, 40, 220, 60, 0};
  // The colours and their reference, made once for every instruction set.
  static const cv::Mat hlsParent = [&] {
    cv::Mat m(area.height, 8, CV_8UC3);
    cv::theRNG().state = 13;
    cv::randu(m, 0, 256);
    return m;
  }();
  const cv::Mat hls = hlsParent(area);
  static const cv::Mat expected = reference::referenceMask(hls, b);
  cv::Mat maskParent(area.height, 9, CV_8UC1, cv::Scalar(kPadding));
  cv::Mat mask = maskParent(area);
  WorkerPool workers(2);

  classifyPixels(hls, mask, b, workers);

  EXPECT_EQ(firstDifference(mask, expected, hls), "");
  cv::Mat outside = maskParent.clone();
  outside(area).setTo(kPadding);
  EXPECT_EQ(cv::countNonZero(outside != kPadding), 0) << "padding of the mask was written";
}

TEST_P(ClassifyPixels, SmallImagesGetOneVerdictPerPixel) {
  // 5 wide, 3 high: every pixel its own colour at its own place.
  cv::Mat hls(3, 5, CV_8UC3);
  for (int y = 0; y < 3; ++y) {
    for (int x = 0; x < 5; ++x) {
      const bool sought = (x + 2 * y) % 3 == 0;
      hls.at<cv::Vec3b>(y, x) =
          sought ? cv::Vec3b(static_cast<std::uint8_t>(x), 200, 200)
                 : cv::Vec3b(100, static_cast<std::uint8_t>(200 + y), 200);
    }
  }
  cv::Mat mask(3, 5, CV_8UC1, cv::Scalar(1));
  classifyPixels(hls, mask, kExample);
  for (int y = 0; y < 3; ++y) {
    for (int x = 0; x < 5; ++x) {
      EXPECT_EQ(mask.at<std::uint8_t>(y, x), (x + 2 * y) % 3 == 0 ? 255 : 0)
          << "at " << x << "," << y;
    }
  }

  cv::Mat one(1, 1, CV_8UC3, cv::Scalar(0, 200, 200));
  cv::Mat verdict(1, 1, CV_8UC1, cv::Scalar(1));
  classifyPixels(one, verdict, kExample);
  EXPECT_EQ(verdict.at<std::uint8_t>(0, 0), 255);
}

TEST(ClassifyPixelsContract, RejectsImagesThatDoNotFit) {
  cv::Mat hls(4, 4, CV_8UC3, cv::Scalar(0, 200, 200));
  cv::Mat wrongSize(4, 5, CV_8UC1);
  cv::Mat wrongType(4, 4, CV_8UC3);
  cv::Mat grey(4, 4, CV_8UC1);
  cv::Mat mask(4, 4, CV_8UC1);
  EXPECT_THROW(classifyPixels(hls, wrongSize, kExample), cv::Exception);
  EXPECT_THROW(classifyPixels(hls, wrongType, kExample), cv::Exception);
  EXPECT_THROW(classifyPixels(grey, mask, kExample), cv::Exception);
}

TEST(ClassifyPixelsContract, BuildCompilesSeveralInstructionSets) {
  const std::vector<std::int64_t> targets = hwy::SupportedAndGeneratedTargets();
  std::string names;
  for (const std::int64_t t : targets) names += std::string(hwy::TargetName(t)) + " ";
  RecordProperty("targets", names);
#if HWY_ARCH_X86
  // At least a vector target beside the fallback, or the kernel tests above
  // would cover only one code path.
  EXPECT_GE(targets.size(), 2u) << names;
#endif
}

}  // namespace
}  // namespace tesmic
