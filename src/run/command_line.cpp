#include "run/command_line.h"

#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace tesmic {
int parseBound(const char* text) {
  // atoi is strtol without its range check; strtol saturates at the ends of
  // long, and the clamp carries that on to the ends of int.
  const long value = std::strtol(text, nullptr, 10);
  return static_cast<int>(std::clamp<long>(value, INT_MIN, INT_MAX));
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
