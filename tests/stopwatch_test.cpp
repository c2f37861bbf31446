#include "pass/stopwatch.h"

#include <chrono>
#include <cstring>
#include <string>
#include <thread>

#include <gtest/gtest.h>

namespace tesmic {
namespace {

std::string messageFor(double seconds) {
  char zprava[kMessageSize];
  formatTimingMessage(zprava, sizeof zprava, seconds);
  return zprava;
}

TEST(TimingMessage, FixedPointInATwelveCharacterField) {
  EXPECT_EQ(messageFor(0.5), "Cas   0.50000000");
  EXPECT_EQ(messageFor(123.456), "Cas 123.45600000");
  EXPECT_EQ(messageFor(0.0123456789), "Cas   0.01234568");
  EXPECT_EQ(messageFor(0.0), "Cas   0.00000000");
  // The field widens rather than cutting digits.
  EXPECT_EQ(messageFor(1000.0), "Cas 1000.00000000");
}

TEST(TimingMessage, NeverOverrunsTheBuffer) {
  char zprava[8];
  std::memset(zprava, 'x', sizeof zprava);
  formatTimingMessage(zprava, sizeof zprava, 0.5);
  EXPECT_STREQ(zprava, "Cas   0");

  char wide[kMessageSize];
  formatTimingMessage(wide, sizeof wide, 1e300);
  EXPECT_LT(std::strlen(wide), kMessageSize);
}

// One test only: the stopwatch keeps its state for the whole process, and the
// first call of a process is the one that measures from the clock's origin.
TEST(Stopwatch, FirstCallIsDiscardedLaterCallsMeasureSeconds) {
  const double sinceOrigin = elapsedSeconds();
  const double immediate = elapsedSeconds();
  EXPECT_GE(immediate, 0.0);
  EXPECT_LT(immediate, 0.5);
  EXPECT_GT(sinceOrigin, immediate);

  elapsedSeconds();
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  const double slept = elapsedSeconds();
  // In seconds, not ticks: at least the sleep, and far from a thousand times it.
  EXPECT_GE(slept, 0.05);
  EXPECT_LT(slept, 5.0);
}

}  // namespace
}  // namespace tesmic
