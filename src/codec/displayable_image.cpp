#include "codec/displayable_image.h"

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

namespace tesmic {
namespace {

cv::Mat toEightBit(const cv::Mat& image) {
  const int depth = image.depth();
  if (depth == CV_8U) return image;
  const double scale = depth == CV_8S ? 1.0
                       : (depth == CV_16F || depth == CV_32F || depth == CV_64F) ? 255.0
                                                              : 1.0 / 256;
  const double shift = (depth == CV_8S || depth == CV_16S) ? 128.0 : 0.0;
  cv::Mat result;
  image.convertTo(result, CV_8U, scale, shift);
  return result;
}

}  // namespace

cv::Mat toBgr8(const cv::Mat& image) {
  if (image.empty()) return image;
  const cv::Mat eightBit = toEightBit(image);
  const int channels = eightBit.channels();
  if (channels == 3) return eightBit;
  cv::Mat bgr;
  if (channels <= 2) {
    cv::Mat grey;
    cv::extractChannel(eightBit, grey, 0);
    cv::cvtColor(grey, bgr, cv::COLOR_GRAY2BGR);
  } else {
    bgr.create(eightBit.size(), CV_8UC3);
    const int fromTo[] = {0, 0, 1, 1, 2, 2};
    cv::mixChannels(&eightBit, 1, &bgr, 1, fromTo, 3);
  }
  return bgr;
}

}  // namespace tesmic
