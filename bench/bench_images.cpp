#include "bench_images.h"

#include <algorithm>
#include <cstdint>

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

namespace tesmic::bench {
namespace {

constexpr std::uint64_t kHlsSeed = 0x7e5313c0ffeeULL;
constexpr std::uint64_t kPhotoSeed = 0xcE77e2ULL;

cv::Scalar randomColour(cv::RNG& rng) {
  return {rng.uniform(0.0, 256.0), rng.uniform(0.0, 256.0),
          rng.uniform(0.0, 256.0)};
}

}  // namespace

cv::Mat randomHlsImage(cv::Size size) {
  cv::Mat hls(size, CV_8UC3);
  cv::RNG rng(kHlsSeed);
  rng.fill(hls, cv::RNG::UNIFORM, 0, 256);
  return hls;
}

cv::Mat photoLikeImage(cv::Size size) {
  cv::RNG rng(kPhotoSeed);

  // Broad, slowly changing colour: a coarse random grid blown up smoothly.
  cv::Mat coarse(9, 16, CV_8UC3);
  rng.fill(coarse, cv::RNG::UNIFORM, 0, 256);
  cv::Mat photo;
  cv::resize(coarse, photo, size, 0.0, 0.0, cv::INTER_CUBIC);

  // Objects with hard, anti-aliased edges at every scale.
  const int scale = std::min(size.width, size.height);
  for (int i = 0; i < 150; ++i) {
    const cv::Point centre(rng.uniform(0, size.width),
                           rng.uniform(0, size.height));
    const cv::Size axes(rng.uniform(scale / 200 + 1, scale / 6 + 2),
                        rng.uniform(scale / 200 + 1, scale / 6 + 2));
    if (i % 3 == 0) {
      const cv::Point corner = centre + cv::Point(axes.width, axes.height);
      cv::rectangle(photo, centre, corner, randomColour(rng), cv::FILLED,
                    cv::LINE_AA);
    } else {
      cv::ellipse(photo, centre, axes, rng.uniform(0.0, 180.0), 0.0, 360.0,
                  randomColour(rng), cv::FILLED, cv::LINE_AA);
    }
  }
  // Lenses are not perfectly sharp.
  cv::GaussianBlur(photo, photo, cv::Size(5, 5), 0.0);

  // Sensor grain, which is what makes real photographs expensive to code.
  cv::Mat grain(size, CV_16SC3);
  rng.fill(grain, cv::RNG::NORMAL, 0.0, 4.0);
  cv::Mat wide;
  photo.convertTo(wide, CV_16SC3);
  wide += grain;
  wide.convertTo(photo, CV_8UC3);  // saturates back into 0..255
  return photo;
}

}  // namespace tesmic::bench
