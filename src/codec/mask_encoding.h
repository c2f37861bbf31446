// Writing an image to a file through the confined helper, so that the
// program itself never runs an encoder.
#pragma once

#include <string>

#include <opencv2/core/mat.hpp>

#include "codec/codec_session.h"

namespace tesmic {

// Writes image to path in the format its extension names (.png, .jpg,
// .bmp...), encoded by tesmic-codec under the same confinement as decoding:
// the helper opens no file at all, it writes into a temporary file that the
// program made in the target's folder, which then replaces path in one
// rename, so that a failed write leaves any earlier file whole. False with
// one Czech line in czechError when it cannot be written.
bool encodeInHelper(CodecSession& codecs, const std::string& path, const cv::Mat& image,
                    std::string& czechError);

}  // namespace tesmic
