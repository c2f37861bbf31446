#include "run/pass_setup.h"

#include <chrono>

#include <opencv2/imgproc.hpp>

#include "pass/colour_classification.h"
#include "pass/huge_pages.h"
#include "pass/stopwatch.h"

namespace tesmic {

PassImages setUpPass(cv::Mat& picture, bool smoothPicture, WorkerPool& workers) {
  PassImages images;
  images.hls = imageOnHugePages(picture.size(), CV_8UC3);
  cv::cvtColor(picture, images.hls, cv::COLOR_BGR2HLS);
  if (smoothPicture) {
    cv::GaussianBlur(picture, picture, cv::Size(3, 3), 0.0, 0.0, cv::BORDER_REPLICATE);
  }
  images.mask = imageOnHugePages(picture.size(), CV_8UC1);
  images.mask.setTo(cv::Scalar(kOther));
  prepareClassification(workers);
  return images;
}

double timedPass(PassImages& images, const DetectionBounds& bounds, WorkerPool& workers) {
  const auto start = std::chrono::steady_clock::now();
  classifyPixels(images.hls, images.mask, bounds, workers);
  return secondsSince(start);
}

}  // namespace tesmic
