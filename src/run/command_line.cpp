#include "run/command_line.h"

#include <unistd.h>

#include <climits>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <system_error>

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

std::string exampleImagePath() {
  if (access(kExampleImage, F_OK) == 0) return kExampleImage;
  std::error_code error;
  const std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", error);
  if (error) return kExampleImage;
  const std::filesystem::path installed =
      program.parent_path() / TESMIC_DATA_FROM_BINDIR / kExampleImage;
  return access(installed.c_str(), F_OK) == 0 ? installed.lexically_normal().string()
                                               : kExampleImage;
}

RunSettings settingsFromArguments(int argc, const char* const* argv) {
  const std::string program = argc > 0 && argv[0] != nullptr ? argv[0] : "tesmic";
  if (argc != 8) return {program, exampleImagePath(), kExampleBounds, true};
  DetectionBounds bounds;
  bounds.HH = parseBound(argv[2]);
  bounds.HL = parseBound(argv[3]);
  bounds.SH = parseBound(argv[4]);
  bounds.SL = parseBound(argv[5]);
  bounds.VH = parseBound(argv[6]);
  bounds.VL = parseBound(argv[7]);
  return {program, argv[1], bounds, false};
}

void printUsage() {
  std::fputs(kUsageText, stdout);
  // Flushed at once so that the text stands before anything the run prints
  // and leaves in a single write even on a line-buffered terminal.
  std::fflush(stdout);
}

}  // namespace tesmic
