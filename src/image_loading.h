// Reading the image a run works on.
#pragma once

#include <string>

#include <opencv2/core/mat.hpp>

namespace tesmic {

// The image as three 8-bit channels, BGR, whatever the file holds (see
// toBgr8). Empty when it cannot be loaded: not a regular file after
// following links (a folder, a FIFO that would block, a device), unreadable,
// not a format OpenCV reads, or rejected by the decoder (an absurd size in
// its header, say). An image whose run would not fit in the memory
// available throws cv::Exception with cv::Error::StsNoMem, before it is
// decoded (memory_budget.h).
cv::Mat loadImage(const std::string& imageName);

}  // namespace tesmic
