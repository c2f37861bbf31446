#include "memory_budget.h"

#include <cstdint>
#include <limits>

#include <gtest/gtest.h>
#include <opencv2/core.hpp>

namespace tesmic {
namespace {

constexpr std::uint64_t kMiB = std::uint64_t{1} << 20;

TEST(MemoryBudget, ReadsKilobyteFieldsAndTakesTheLeastRoom) {
  const char meminfo[] =
      "MemTotal:       24576000 kB\nMemFree:  100 kB\nMemAvailable:   20480000 kB\n";
  EXPECT_EQ(kilobyteField(meminfo, "MemAvailable"), std::uint64_t{20480000} * 1024);
  EXPECT_EQ(kilobyteField(meminfo, "MemFree"), std::uint64_t{100} * 1024);
  EXPECT_EQ(kilobyteField(meminfo, "Mem"), std::nullopt);
  EXPECT_EQ(kilobyteField("VmSize:\tnone\n", "VmSize"), std::nullopt);

  EXPECT_EQ(memoryHeadroom({}), std::numeric_limits<std::uint64_t>::max());
  MemoryReadings r;
  r.available = 8000 * kMiB;
  r.cgroupHeadroom = 3000 * kMiB;
  EXPECT_EQ(memoryHeadroom(r), 3000 * kMiB);
  r.addressSpaceLimit = 2048 * kMiB;
  r.addressSpaceUsed = 548 * kMiB;
  EXPECT_EQ(memoryHeadroom(r), 1500 * kMiB);
  r.addressSpaceUsed = 4096 * kMiB;  // already past the limit
  EXPECT_EQ(memoryHeadroom(r), 0u);
}

TEST(MemoryBudget, LimitRefusesLargeImagesBeforeAllocatingAndEndsWithItsScope) {
  {
    const MatAllocationLimit limit(1 * kMiB);
    EXPECT_NO_THROW(cv::Mat(512, 512, CV_8UC3));  // 768 KiB
    try {
      cv::Mat tooLarge(1024, 1024, CV_8UC3);
      ADD_FAILURE() << "a 3 MiB image was allocated under a 1 MiB limit";
    } catch (const cv::Exception& e) {
      EXPECT_EQ(e.code, cv::Error::StsNoMem);
    }
  }
  EXPECT_NO_THROW(cv::Mat(1024, 1024, CV_8UC3));
  EXPECT_EQ(largestImageBytes(kRunBytesPerPixel * 1000), 3000u);
}

}  // namespace
}  // namespace tesmic
