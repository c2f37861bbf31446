// The images the benchmarks work on. Made from fixed seeds, so that every run
// times the same bytes.
#pragma once

#include <opencv2/core/mat.hpp>

namespace tesmic::bench {

// Uniformly random bytes in all three channels (CV_8UC3). Random data keeps
// the branches of the literal loop honest: no pattern to predict.
cv::Mat randomHlsImage(cv::Size size);

// A BGR picture (CV_8UC3) with the smooth colour fields, hard edges and
// sensor grain of a photograph, so that JPEG compresses it about as much as a
// real one and decoding it costs about as much.
cv::Mat photoLikeImage(cv::Size size);

}  // namespace tesmic::bench
