#include "display/qt_platform.h"

#include <algorithm>
#include <cctype>
#include <string_view>

namespace tesmic {
namespace {

PlatformKind kindOf(const std::string& name) {
  if (name == "xcb") return PlatformKind::kX11;
  if (name == "offscreen" || name == "minimal" || name == "minimalegl") {
    return PlatformKind::kNoScreen;
  }
  return PlatformKind::kOther;
}

}  // namespace

std::vector<QtPlatform> qtPlatformCandidates(const char* value) {
  std::string_view rest = value == nullptr ? "" : value;
  if (rest.empty()) rest = "xcb";
  std::vector<QtPlatform> candidates;
  for (;;) {
    const std::size_t end = std::min(rest.find(';'), rest.size());
    const std::string entry(rest.substr(0, end));
    std::string name = entry.substr(0, entry.find(':'));
    std::transform(name.begin(), name.end(), name.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (!name.empty()) candidates.push_back({entry, name, kindOf(name)});
    if (end == rest.size()) break;
    rest.remove_prefix(end + 1);
  }
  return candidates;
}

}  // namespace tesmic
