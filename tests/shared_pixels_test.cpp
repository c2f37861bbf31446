#include "codec/shared_pixels.h"

#include <cstdint>

#include <gtest/gtest.h>
#include <opencv2/core.hpp>

namespace tesmic {
namespace {

constexpr std::uint64_t kMiB = std::uint64_t{1} << 20;

// Whether the allocator refuses an image, set as the decoding process sets
// it: as the default one (OpenCV falls back to the default allocator when
// any other one throws).
bool refuses(MemfdAllocator& allocator, int dims, const int* sizes, int type) {
  cv::MatAllocator* const previous = cv::Mat::getDefaultAllocator();
  cv::Mat::setDefaultAllocator(&allocator);
  cv::Mat image;
  bool refused = false;
  try {
    image.create(dims, sizes, type);
    EXPECT_GE(sealedMemfdOf(image), 0) << "an image that fits is not handed over in a memfd";
  } catch (const cv::Exception& e) {
    EXPECT_EQ(e.code, cv::Error::StsNoMem) << e.what();
    refused = true;
  }
  cv::Mat::setDefaultAllocator(previous);
  return refused;
}

TEST(SharedPixels, TheDecodingAllocatorRefusesImagesWhoseRunWouldNotFit) {
  MemfdAllocator allocator({5 * kMiB, nullptr});
  const int quarter[] = {512, 512};  // a run of 4 MiB in 8 bits
  const int whole[] = {1024, 1024};
  EXPECT_FALSE(refuses(allocator, 2, quarter, CV_8UC3));
  // Counted by the pixels the run will hold, not the bytes of the type:
  // 3 MiB of float is as many pixels; four channels of double need more
  // than the run itself while the 8-bit copy is made.
  EXPECT_FALSE(refuses(allocator, 2, quarter, CV_32FC3));
  EXPECT_TRUE(refuses(allocator, 2, quarter, CV_64FC4));
  EXPECT_TRUE(refuses(allocator, 2, whole, CV_8UC3));
  // 2^64 + 5 pixels: five, counted in 64 bits.
  const int wrapping[] = {609, 36760123, 823996703};
  EXPECT_TRUE(refuses(allocator, 3, wrapping, CV_8UC1));
}

}  // namespace
}  // namespace tesmic
