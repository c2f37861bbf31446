#include "pass/sample_fit.h"

#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include "formats/image_decoding.h"
#include "pass/colour_classification.h"
#include "reference_rule.h"
#include "ui/slider_ranges.h"

namespace tesmic {
namespace {

// An ellipse of one hue and saturation, its lightness shaded from dark on
// the left to light on the right.
struct Ellipse {
  cv::Point centre;
  cv::Size axes;
  int hue;
  int darkest = 50;
  int lightest = 190;
  int saturation = 200;
};

struct Scene {
  cv::Mat hls;
  std::vector<cv::Mat> ellipses;  // 255 inside each
};

// A photograph of the test data, decoded as the program decodes it.
cv::Mat photograph(const std::string& name) {
  struct Sink final : PixelSink {
    cv::Mat image;
    std::uint8_t* pixels(int rows, int cols) override {
      image.create(rows, cols, CV_8UC3);
      return image.data;
    }
  } sink;
  std::ifstream in(std::string(TESMIC_TEST_DATA) + "/" + name, std::ios::binary);
  const std::vector<std::uint8_t> bytes(std::istreambuf_iterator<char>(in), {});
  if (decodeImage(bytes, sink).outcome != DecodeOutcome::kDecoded) {
    throw std::runtime_error("cannot read " + name);
  }
  return sink.image;
}

// The ellipses drawn on a real photograph at 640x480, and noise over all of
// it, in HLS.
Scene sceneOn(const std::string& photo, const std::vector<Ellipse>& ellipses) {
  cv::Mat picture = photograph(photo);
  cv::resize(picture, picture, {640, 480}, 0, 0, cv::INTER_LINEAR);
  Scene scene;
  for (const Ellipse& e : ellipses) {
    cv::Mat inside(picture.size(), CV_8UC1, cv::Scalar(0));
    cv::ellipse(inside, e.centre, e.axes, 0, 0, 360, cv::Scalar(255), cv::FILLED);
    cv::Mat colour(picture.size(), CV_8UC3);
    for (int x = 0; x < colour.cols; ++x) {
      const double across = (x - e.centre.x + e.axes.width) / (2.0 * e.axes.width);
      colour.col(x).setTo(cv::Scalar(e.hue, e.darkest + (e.lightest - e.darkest) * across,
                                     e.saturation));
    }
    cv::cvtColor(colour, colour, cv::COLOR_HLS2BGR);
    colour.copyTo(picture, inside);
    scene.ellipses.push_back(inside);
  }
  cv::Mat noise(picture.size(), CV_16SC3);
  cv::RNG(20240601).fill(noise, cv::RNG::NORMAL, 0, 8);
  cv::Mat noisy;
  picture.convertTo(noisy, CV_16SC3);
  noisy += noise;
  noisy.convertTo(picture, CV_8UC3);
  cv::cvtColor(picture, scene.hls, cv::COLOR_BGR2HLS);
  return scene;
}

cv::Rect middleFifth(const Ellipse& e) {
  return {e.centre.x - e.axes.width / 5, e.centre.y - e.axes.height / 5, 2 * e.axes.width / 5,
          2 * e.axes.height / 5};
}

// The share of the pixels under spans that b marks, by the reference rule,
// each pixel once; excluded pixels are out of the sample.
double referenceShare(const cv::Mat& hls, const std::vector<cv::Rect>& areas,
                      const std::vector<cv::Rect>& outside, const DetectionBounds& b) {
  cv::Mat in(hls.size(), CV_8UC1, cv::Scalar(0));
  for (const cv::Rect& r : areas) in(r & cv::Rect({0, 0}, hls.size())).setTo(255);
  for (const cv::Rect& r : outside) in(r & cv::Rect({0, 0}, hls.size())).setTo(0);
  const cv::Mat marked = reference::referenceMask(hls, b) & in;
  const int pixels = cv::countNonZero(in);
  return pixels == 0 ? 0 : static_cast<double>(cv::countNonZero(marked)) / pixels;
}

struct Marking {
  double ofObject;  // share of the object marked
  double object;    // share of the marked pixels that are the object
};

Marking markingOf(const cv::Mat& hls, const DetectionBounds& b, const cv::Mat& object) {
  cv::Mat mask(hls.size(), CV_8UC1);
  classifyPixels(hls, mask, b);
  const double hits = cv::countNonZero(mask & object);
  const int marked = cv::countNonZero(mask);
  return {hits / cv::countNonZero(object), marked == 0 ? 0 : hits / marked};
}

// What holds for every fit: the sample kept, the shares counted as the rule
// counts them, the bounds on the sliders.
void expectSound(const cv::Mat& hls, const SampleAreas& areas, const SampleFit& fit) {
  EXPECT_GE(fit.sampleMarked, 0.95);
  EXPECT_DOUBLE_EQ(fit.sampleMarked, referenceShare(hls, areas.sample, areas.excluded, fit.bounds));
  EXPECT_DOUBLE_EQ(fit.excludedMarked, referenceShare(hls, areas.excluded, {}, fit.bounds));
  const MarkedShares again = markedShares(hls, areas, fit.bounds);
  EXPECT_DOUBLE_EQ(again.sample, fit.sampleMarked);
  EXPECT_DOUBLE_EQ(again.excluded, fit.excludedMarked);
  EXPECT_EQ(clampedToSliders(fit.bounds), fit.bounds);
}

std::string describe(const DetectionBounds& b) {
  return std::to_string(b.HH) + " " + std::to_string(b.HL) + " " + std::to_string(b.SH) + " " +
         std::to_string(b.SL) + " " + std::to_string(b.VH) + " " + std::to_string(b.VL);
}

struct Colour {
  const char* name;
  int hue;
  const char* photo;  // one without that colour
};

class SampleFitOfOneColour : public testing::TestWithParam<Colour> {};

// A drag over the middle fifth, and a single pixel off the middle, find the
// whole ellipse: its shaded ends are marked though the sample never reached
// them, and little of the photograph.
TEST_P(SampleFitOfOneColour, MarksTheWholeEllipseFromItsMiddleFifthOrOnePixel) {
  const Ellipse ellipse{{360, 220}, {150, 100}, GetParam().hue};
  const Scene scene = sceneOn(GetParam().photo, {ellipse});
  WorkerPool workers(2);
  for (const cv::Rect sample : {middleFifth(ellipse), cv::Rect(ellipse.centre.x - 40, 210, 1, 1)}) {
    SCOPED_TRACE(std::to_string(sample.width) + "x" + std::to_string(sample.height));
    const SampleAreas areas{{sample}, {}};
    const SampleFit fit = fitBoundsToSample(scene.hls, areas, workers);
    SCOPED_TRACE(describe(fit.bounds));
    expectSound(scene.hls, areas, fit);
    const Marking m = markingOf(scene.hls, fit.bounds, scene.ellipses[0]);
    EXPECT_GE(m.ofObject, 0.90);
    EXPECT_GE(m.object, 0.85);
  }
}

INSTANTIATE_TEST_SUITE_P(Colours, SampleFitOfOneColour,
                         testing::Values(Colour{"red", 0, "rocket.jpg"},
                                         Colour{"yellow", 30, "rocket.jpg"},
                                         Colour{"green", 60, "coffee.jpg"},
                                         Colour{"blue", 120, "coffee.jpg"}),
                         [](const testing::TestParamInfo<Colour>& c) { return c.param.name; });

// A drag across where a green and a blue ellipse meet holds both colours:
// both are marked whole.
TEST(SampleFit, ASampleOfTwoColoursMarksBoth) {
  const Ellipse green{{200, 240}, {120, 90}, 60};
  const Ellipse blue{{440, 240}, {120, 90}, 120};
  const Scene scene = sceneOn("coffee.jpg", {green, blue});
  WorkerPool workers(2);
  const SampleAreas areas{{cv::Rect(290, 220, 60, 40)}, {}};
  const SampleFit fit = fitBoundsToSample(scene.hls, areas, workers);
  SCOPED_TRACE(describe(fit.bounds));
  expectSound(scene.hls, areas, fit);
  const Marking m = markingOf(scene.hls, fit.bounds, scene.ellipses[0] | scene.ellipses[1]);
  EXPECT_GE(markingOf(scene.hls, fit.bounds, scene.ellipses[0]).ofObject, 0.90);
  EXPECT_GE(markingOf(scene.hls, fit.bounds, scene.ellipses[1]).ofObject, 0.90);
  EXPECT_GE(m.object, 0.85);
}

// A light green patch runs on from the green ellipse's own lightness, so the
// valleys take it in; excluding it moves the upper lightness bound below it.
// Excluding part of the ellipse itself cannot work: the sample is kept and
// the shares say what the bounds do. Overlapping and repeated rectangles,
// and an exclusion over part of the sample, count each pixel once.
TEST(SampleFit, ExcludedAreasStayUnmarkedWhereTheRuleCanTellThemApart) {
  const Ellipse green{{230, 240}, {150, 100}, 60};
  const Ellipse light{{520, 120}, {70, 50}, 60, 175, 235};
  const Scene scene = sceneOn("coffee.jpg", {green, light});
  WorkerPool workers(2);
  const cv::Rect sample = middleFifth(green);
  const cv::Rect patch(480, 100, 80, 40);

  const SampleFit plain = fitBoundsToSample(scene.hls, {{sample}, {}}, workers);
  EXPECT_GE(markingOf(scene.hls, plain.bounds, scene.ellipses[1]).ofObject, 0.5)
      << describe(plain.bounds) << ": the patch would need no exclusion";

  const SampleAreas apart{{sample, sample, sample + cv::Point(10, 5)},
                          {patch, patch - cv::Point(20, 0)}};
  const SampleFit fit = fitBoundsToSample(scene.hls, apart, workers);
  SCOPED_TRACE(describe(fit.bounds));
  expectSound(scene.hls, apart, fit);
  EXPECT_LE(fit.excludedMarked, 0.05);
  EXPECT_GE(markingOf(scene.hls, fit.bounds, scene.ellipses[0]).ofObject, 0.8);

  // The same colours as the sample, partly over it, and on into the photograph.
  const cv::Rect over(sample.x + 50, sample.y + 10, 30, 60);
  const SampleAreas alike{{sample, sample + cv::Point(15, 0)},
                          {over, cv::Rect(over.x + 10, over.y + 30, 200, 40)}};
  const SampleFit cannot = fitBoundsToSample(scene.hls, alike, workers);
  SCOPED_TRACE(describe(cannot.bounds));
  expectSound(scene.hls, alike, cannot);
  EXPECT_GT(cannot.excludedMarked, 0.05);
}

// Nothing to fit: every pixel passes, the excluded ones too.
TEST(SampleFit, NoSamplePixelsGiveOpenBoundsAndNoShares) {
  const cv::Mat hls(20, 30, CV_8UC3, cv::Scalar(60, 100, 200));
  WorkerPool workers(2);
  const SampleAreas outside{{cv::Rect(40, 0, 5, 5), cv::Rect(0, 0, 0, 7)}, {cv::Rect(0, 0, 5, 5)}};
  const SampleFit fit = fitBoundsToSample(hls, outside, workers);
  EXPECT_EQ(fit.sampleMarked, 0);
  EXPECT_EQ(fit.excludedMarked, 1);
  EXPECT_EQ(cv::countNonZero(reference::referenceMask(hls, fit.bounds)), hls.rows * hls.cols);
}

}  // namespace
}  // namespace tesmic
