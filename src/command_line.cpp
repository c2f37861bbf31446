#include "command_line.h"

#include <climits>
#include <cstdint>
#include <cstdio>

namespace tesmic {
namespace {

// The white space of the "C" locale, as atoi skips it.
bool isBlank(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' ||
         c == '\r';
}

}  // namespace

int parseBound(const char* text) {
  const char* p = text;
  while (isBlank(*p)) ++p;
  const bool negative = *p == '-';
  if (*p == '-' || *p == '+') ++p;

  // Accumulate the magnitude up to one past INT_MAX; anything longer only
  // confirms the saturation, so further digits are skipped, not added.
  constexpr std::int64_t kLimit = std::int64_t{INT_MAX} + 1;
  std::int64_t magnitude = 0;
  for (; *p >= '0' && *p <= '9'; ++p) {
    if (magnitude < kLimit) magnitude = magnitude * 10 + (*p - '0');
  }
  if (magnitude > kLimit) magnitude = kLimit;

  const std::int64_t value = negative ? -magnitude : magnitude;
  return value > INT_MAX ? INT_MAX : static_cast<int>(value);
}

RunSettings settingsFromArguments(int argc, const char* const* argv) {
  if (argc != 8) return {kExampleImage, kExampleBounds, true};
  DetectionBounds bounds;
  bounds.HH = parseBound(argv[2]);
  bounds.HL = parseBound(argv[3]);
  bounds.SH = parseBound(argv[4]);
  bounds.SL = parseBound(argv[5]);
  bounds.VH = parseBound(argv[6]);
  bounds.VL = parseBound(argv[7]);
  return {argv[1], bounds, false};
}

void printUsage() {
  std::fputs(kUsageText, stdout);
  // Flushed at once so that the text stands before anything the run prints
  // and leaves in a single write even on a line-buffered terminal.
  std::fflush(stdout);
}

}  // namespace tesmic
