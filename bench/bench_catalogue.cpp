#include "bench_catalogue.h"

#include "colour_classification.h"
#include "command_line.h"

namespace tesmic::bench {

DetectionBounds benchmarkBounds() { return kExampleBounds; }

StoreStyle passStoreStyle(cv::Size size) {
  return usesStreamingStores(size) ? StoreStyle::NonTemporal : StoreStyle::Plain;
}

Classifier fairBound(cv::Size size) {
  return passStoreStyle(size) == StoreStyle::Plain
             ? Classifier::StreamingBound
             : Classifier::StreamingBoundNonTemporal;
}

std::string sizeText(cv::Size size) {
  return std::to_string(size.width) + "x" + std::to_string(size.height);
}

std::string_view classifierLabel(Classifier c) {
  switch (c) {
    case Classifier::Literal: return "literal";
    case Classifier::InRange: return "inRange";
    case Classifier::StreamingBound: return "streaming_bound";
    case Classifier::StreamingBoundNonTemporal: return "streaming_bound_nt";
    case Classifier::Pass: return "pass";
  }
  return "?";
}

std::string_view stageLabel(Stage s) {
  switch (s) {
    case Stage::Decode: return "1_decode_jpeg";
    case Stage::Clone: return "2_clone";
    case Stage::Blur: return "3_gaussian_blur_3x3";
    case Stage::ToHls: return "4_bgr_to_hls";
    case Stage::MaskAllocation: return "5_mask_allocation";
    case Stage::Pass: return "6_pass";
    case Stage::Release: return "7_release";
  }
  return "?";
}

std::string classificationName(Classifier c, cv::Size size) {
  return "classify/" + std::string(classifierLabel(c)) + "/" + sizeText(size);
}

std::string stageName(Stage s) {
  return "run_" + sizeText(kRunSize) + "/" + std::string(stageLabel(s));
}

std::string wholeRunName() { return "run_" + sizeText(kRunSize) + "/whole"; }

std::string inRunCounter(Stage s) { return std::string(stageLabel(s)) + "_ms"; }

}  // namespace tesmic::bench
