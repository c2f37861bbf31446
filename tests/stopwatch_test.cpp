#include "pass/stopwatch.h"

#include <string>
#include <thread>

#include <gtest/gtest.h>

namespace tesmic {
namespace {

TEST(TimingMessage, FixedPointInATwelveCharacterField) {
  EXPECT_EQ(timingMessage(0.5), "Cas   0.50000000");
  EXPECT_EQ(timingMessage(123.456), "Cas 123.45600000");
  EXPECT_EQ(timingMessage(0.0123456789), "Cas   0.01234568");
  EXPECT_EQ(timingMessage(0.0), "Cas   0.00000000");
  // The field widens rather than cutting digits, up to the widest double.
  EXPECT_EQ(timingMessage(1000.0), "Cas 1000.00000000");
  EXPECT_EQ(timingMessage(1e300).size(), 4u + 301u + 9u);
}

TEST(Stopwatch, MeasuresSeconds) {
  const auto start = std::chrono::steady_clock::now();
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  const double slept = secondsSince(start);
  // In seconds, not ticks: at least the sleep, and far from a thousand times it.
  EXPECT_GE(slept, 0.05);
  EXPECT_LT(slept, 5.0);
}

}  // namespace
}  // namespace tesmic
