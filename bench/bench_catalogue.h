// What is benchmarked and under which name, shared by the benchmarks that
// register themselves and the report that reads their results back.
#pragma once

#include <array>
#include <string>
#include <string_view>

#include <opencv2/core/types.hpp>

#include "detection_bounds.h"
#include "streaming_bound.h"

namespace tesmic::bench {

inline const std::array<cv::Size, 4> kClassificationSizes{
    cv::Size{640, 480}, cv::Size{1920, 1080}, cv::Size{3840, 2160},
    cv::Size{8000, 8000}};

// The ways of computing the mask, in the order they are run at each size.
// The two streaming bounds write the OR of the channels instead: the speed
// of memory with the pass's stores and with non-temporal ones.
enum class Classifier {
  Literal,
  InRange,
  StreamingBound,
  StreamingBoundNonTemporal,
  Pass
};
inline constexpr std::array<Classifier, 5> kClassifiers{
    Classifier::Literal, Classifier::InRange, Classifier::StreamingBound,
    Classifier::StreamingBoundNonTemporal, Classifier::Pass};

// How classifyPixels stores its mask at a given size. The fair yardstick for
// the pass is the streaming bound that stores the same way, so keep this in
// step with src/colour_classification.cpp.
StoreStyle passStoreStyle(cv::Size size);

// The streaming bound that stores as the pass does at this size.
Classifier fairBound(cv::Size size);

// The stages of one detection run, in the order the program goes through
// them. All but the release of the images at the end are also timed alone.
enum class Stage {
  Decode,
  Clone,
  Blur,
  ToHls,
  MaskAllocation,
  Pass,
  Release
};
inline constexpr std::array<Stage, 7> kStages{
    Stage::Decode, Stage::Clone, Stage::Blur,   Stage::ToHls,
    Stage::MaskAllocation,       Stage::Pass,   Stage::Release};
inline constexpr bool timedAlone(Stage s) { return s != Stage::Release; }
inline const cv::Size kRunSize{3840, 2160};

// The bounds the program runs with when given no arguments.
DetectionBounds benchmarkBounds();

std::string sizeText(cv::Size size);  // "640x480"
std::string_view classifierLabel(Classifier c);
std::string_view stageLabel(Stage s);

std::string classificationName(Classifier c, cv::Size size);
std::string stageName(Stage s);  // the benchmark of the stage alone
std::string wholeRunName();
// The counter of the whole-run benchmark with the stage's milliseconds.
std::string inRunCounter(Stage s);

}  // namespace tesmic::bench
