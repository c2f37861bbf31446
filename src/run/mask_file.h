// The mask kept in a file (TESMIC_MASK), at the image's full resolution.
#pragma once

#include <string>

#include <opencv2/core/mat.hpp>

namespace tesmic {

// The file TESMIC_MASK names; empty when the variable is unset or empty.
std::string maskPathFromEnvironment();

// Whether a mask can be written to path: its folder takes new files, and
// its extension names a format the codec helper writes single-channel 8-bit
// images in (a 1x1 mask written beside it and removed again tells). On false, error holds the reason as a Czech phrase.
bool maskTargetUsable(const std::string& path, std::string& error);

// Writes mask (CV_8UC1) to path in the format its extension names, encoded
// by the codec helper (mask_encoding.h). The file is written under a
// temporary name in the same folder and renamed over path only when
// complete, so path never holds a partial mask. On false nothing is left
// behind and error holds the reason (Czech).
bool writeMaskFile(const std::string& path, const cv::Mat& mask, std::string& error);

// The name offered for saving the mask of this image: the image's, its
// extension (if any) replaced by "-maska.png" ("foto.jpg": "foto-maska.png").
std::string suggestedMaskName(const std::string& imageName);

// The one line that reports a failed write, without its line feed.
std::string maskFailureMessage(const std::string& path, const std::string& error);

}  // namespace tesmic
