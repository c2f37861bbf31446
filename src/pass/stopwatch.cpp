#include "pass/stopwatch.h"

#include <chrono>
#include <cstdint>
#include <cstdio>

namespace tesmic {
namespace {

using Clock = std::chrono::steady_clock;

std::int64_t readTicks() {
  return static_cast<std::int64_t>(Clock::now().time_since_epoch().count());
}

std::int64_t ticksPerSecond() {
  return static_cast<std::int64_t>(Clock::period::den / Clock::period::num);
}

}  // namespace

double elapsedSeconds() {
  static bool firstCall = true;
  static std::int64_t frequency = 0;
  static std::int64_t lastTicks = 0;

  if (firstCall) {
    frequency = ticksPerSecond();
    firstCall = false;
  }
  const std::int64_t ticks = readTicks();
  const double seconds =
      static_cast<double>(ticks - lastTicks) / static_cast<double>(frequency);
  lastTicks = ticks;
  return seconds;
}

void formatTimingMessage(char* zprava, std::size_t size, double seconds) {
  std::snprintf(zprava, size, "Cas %12.8f", seconds);
}

}  // namespace tesmic
