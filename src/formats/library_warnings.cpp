#include "formats/library_warnings.h"

#include <algorithm>
#include <array>
#include <cctype>

namespace tesmic {
namespace {

// The program judges a line by this much of its start.
constexpr std::size_t kJudgedStart = 200;

bool isSpace(char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; }
bool isAlpha(char c) { return std::isalpha(static_cast<unsigned char>(c)) != 0; }
bool isLower(char c) { return std::islower(static_cast<unsigned char>(c)) != 0; }

// libpng names a chunk by its four letters, lower case first when the
// chunk is ancillary: "libpng warning: iCCP: known incorrect sRGB profile".
bool aboutAncillaryChunk(std::string_view line) {
  constexpr std::string_view kPng = "libpng warning: ";
  if (!line.starts_with(kPng)) return false;
  const std::string_view chunk = line.substr(kPng.size());
  return chunk.size() >= 5 && chunk[4] == ':' &&
         std::all_of(chunk.begin(), chunk.begin() + 4, isAlpha) && isLower(chunk[0]);
}

}  // namespace

bool isDamageLine(std::string_view line) {
  line = line.substr(0, kJudgedStart);
  while (!line.empty() && isSpace(line.back())) line.remove_suffix(1);
  return !line.empty() && !aboutAncillaryChunk(line) &&
         !line.starts_with("Corrupt JPEG data: bad ICC marker") &&
         !line.starts_with("Warning: unknown JFIF revision number");
}

bool printedWarningIsDamage(std::string_view prefix, std::string_view message) {
  // The first line is the prefix and the message up to its first newline;
  // a message can hold newlines of its own (a name taken from the file).
  const std::size_t end = message.find('\n');
  std::array<char, kJudgedStart> first{};
  const std::size_t fromPrefix = std::min(prefix.size(), first.size());
  std::copy_n(prefix.begin(), fromPrefix, first.begin());
  const std::string_view firstRest = message.substr(0, end);
  const std::size_t fromMessage = std::min(firstRest.size(), first.size() - fromPrefix);
  std::copy_n(firstRest.begin(), fromMessage, first.begin() + fromPrefix);
  if (isDamageLine(std::string_view(first.data(), fromPrefix + fromMessage))) return true;
  if (end == std::string_view::npos) return false;
  std::string_view rest = message.substr(end + 1);
  while (!rest.empty()) {
    const std::size_t next = rest.find('\n');
    if (isDamageLine(rest.substr(0, next))) return true;
    if (next == std::string_view::npos) break;
    rest.remove_prefix(next + 1);
  }
  return false;
}

}  // namespace tesmic
