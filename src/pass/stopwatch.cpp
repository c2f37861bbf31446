#include "pass/stopwatch.h"

#include <cstdio>

namespace tesmic {

double secondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

std::string timingMessage(double seconds) {
  // The widest double printed "%12.8f" (DBL_MAX, 309 digits, the point and 8
  // decimals) fits with room to spare.
  char text[4 + 309 + 1 + 8 + 1];
  std::snprintf(text, sizeof text, "Cas %12.8f", seconds);
  return text;
}

}  // namespace tesmic
