#include "run/pass_setup.h"

#include <chrono>

#include <opencv2/imgproc.hpp>

#include "pass/colour_classification.h"
#include "pass/huge_pages.h"
#include "pass/stopwatch.h"

namespace tesmic {

PassImages setUpPass(cv::Mat& picture, bool smoothPicture, WorkerPool& workers) {
  PassImages images;
  images.snimekKLON = imageOnHugePages(picture.size(), CV_8UC3);
  cv::cvtColor(picture, images.snimekKLON, cv::COLOR_BGR2HLS);
  if (smoothPicture) {
    cv::GaussianBlur(picture, picture, cv::Size(3, 3), 0.0, 0.0, cv::BORDER_REPLICATE);
  }
  images.maska = imageOnHugePages(picture.size(), CV_8UC1);
  images.maska.setTo(cv::Scalar(kOther));
  prepareClassification(workers);
  return images;
}

double timedPass(PassImages& images, const DetectionBounds& bounds, WorkerPool& workers) {
  const auto start = std::chrono::steady_clock::now();
  classifyPixels(images.snimekKLON, images.maska, bounds, workers);
  return secondsSince(start);
}

}  // namespace tesmic
