#include "platform/memory_readings.h"
#include "platform/memory_readings_detail.h"

#include <sys/resource.h>

#include <algorithm>
#include <charconv>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>
#include <string>
#include <vector>

namespace tesmic {
namespace {

std::string readFile(const std::filesystem::path& path) {
  std::ifstream in(path);
  return {std::istreambuf_iterator<char>(in), {}};
}

std::optional<std::uint64_t> parseNumber(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  std::uint64_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end == text.data()) return std::nullopt;
  return value;
}

// The lines of a text, one at a time.
template <typename Visit>
void forEachLine(std::string_view text, Visit visit) {
  while (!text.empty()) {
    const std::size_t end = std::min(text.find('\n'), text.size());
    if (visit(text.substr(0, end))) return;
    text.remove_prefix(std::min(end + 1, text.size()));
  }
}

std::vector<std::string_view> splitOn(std::string_view text, char separator) {
  std::vector<std::string_view> parts;
  for (;;) {
    const std::size_t end = text.find(separator);
    parts.push_back(text.substr(0, end));
    if (end == std::string_view::npos) return parts;
    text.remove_prefix(end + 1);
  }
}

// mountinfo writes a space in a path as \040, and so on.
std::string unescapeOctal(std::string_view text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\\' && i + 3 < text.size() &&
        std::all_of(text.begin() + static_cast<std::ptrdiff_t>(i) + 1,
                    text.begin() + static_cast<std::ptrdiff_t>(i) + 4,
                    [](char c) { return c >= '0' && c <= '7'; })) {
      out += static_cast<char>((text[i + 1] - '0') * 64 + (text[i + 2] - '0') * 8 +
                               (text[i + 3] - '0'));
      i += 3;
    } else {
      out += text[i];
    }
  }
  return out;
}

struct CgroupMount {
  std::filesystem::path root;        // the part of the hierarchy mounted
  std::filesystem::path mountPoint;  // where
};

// Where the v2 hierarchy (v1 == false) or v1's memory controller is mounted.
std::optional<CgroupMount> findMount(std::string_view mountinfo, bool v1) {
  std::optional<CgroupMount> found;
  forEachLine(mountinfo, [&](std::string_view line) {
    const std::vector<std::string_view> fields = splitOn(line, ' ');
    const auto dash = std::find(fields.begin(), fields.end(), "-");
    if (fields.size() < 5 || fields.end() - dash < 4) return false;
    const std::string_view type = dash[1];
    if (v1) {
      const std::vector<std::string_view> options = splitOn(dash[3], ',');
      if (type != "cgroup" ||
          std::find(options.begin(), options.end(), "memory") == options.end()) {
        return false;
      }
    } else if (type != "cgroup2") {
      return false;
    }
    found = CgroupMount{unescapeOctal(fields[3]), unescapeOctal(fields[4])};
    return true;
  });
  return found;
}

// The path of the process's cgroup in the v2 hierarchy or v1's memory one.
std::optional<std::string> cgroupPath(std::string_view procSelfCgroup, bool v1) {
  std::optional<std::string> found;
  forEachLine(procSelfCgroup, [&](std::string_view line) {
    const std::size_t first = line.find(':');
    const std::size_t second = line.find(':', first == std::string_view::npos ? first : first + 1);
    if (second == std::string_view::npos) return false;
    const std::string_view id = line.substr(0, first);
    const std::vector<std::string_view> controllers =
        splitOn(line.substr(first + 1, second - first - 1), ',');
    const bool matches =
        v1 ? id != "0" && std::find(controllers.begin(), controllers.end(), "memory") !=
                              controllers.end()
           : id == "0" && controllers.size() == 1 && controllers[0].empty();
    if (matches) found = std::string(line.substr(second + 1));
    return matches;
  });
  return found;
}

// The least room in the process's memory cgroups and their parents.
std::optional<std::uint64_t> readCgroupHeadroom() {
  std::optional<std::uint64_t> least;
  for (const CgroupFolder& folder :
       memoryCgroupFolders(readFile("/proc/self/cgroup"), readFile("/proc/self/mountinfo"))) {
    const std::filesystem::path dir = folder.path;
    CgroupMemoryFiles files;
    files.v1 = folder.v1;
    files.limit = readFile(dir / (folder.v1 ? "memory.limit_in_bytes" : "memory.max"));
    if (files.limit.empty()) continue;  // a folder without the memory controller
    files.usage = readFile(dir / (folder.v1 ? "memory.usage_in_bytes" : "memory.current"));
    files.stat = readFile(dir / "memory.stat");
    if (const auto room = cgroupRoom(files)) least = least ? std::min(*least, *room) : *room;
  }
  return least;
}

}  // namespace

std::optional<std::uint64_t> kilobyteField(std::string_view text,
                                           std::string_view name) {
  std::size_t at = 0;
  while (at < text.size()) {
    const std::size_t end = std::min(text.find('\n', at), text.size());
    const std::string_view line = text.substr(at, end - at);
    if (line.size() > name.size() && line.substr(0, name.size()) == name &&
        line[name.size()] == ':') {
      const auto kilobytes = parseNumber(line.substr(name.size() + 1));
      if (!kilobytes || *kilobytes > std::numeric_limits<std::uint64_t>::max() / 1024) {
        return std::nullopt;
      }
      return *kilobytes * 1024;
    }
    at = end + 1;
  }
  return std::nullopt;
}

namespace {

// The number of a "name 123" line of a cgroup's memory.stat.
std::optional<std::uint64_t> statField(std::string_view text, std::string_view name) {
  std::optional<std::uint64_t> value;
  forEachLine(text, [&](std::string_view line) {
    if (line.size() <= name.size() || line.substr(0, name.size()) != name ||
        line[name.size()] != ' ') {
      return false;
    }
    value = parseNumber(line.substr(name.size() + 1));
    return true;
  });
  return value;
}

}  // namespace

std::vector<CgroupFolder> memoryCgroupFolders(std::string_view procSelfCgroup,
                                              std::string_view mountinfo) {
  std::vector<CgroupFolder> folders;
  for (const bool v1 : {false, true}) {
    const std::optional<std::string> path = cgroupPath(procSelfCgroup, v1);
    const std::optional<CgroupMount> mount = findMount(mountinfo, v1);
    if (!path || !mount) continue;
    // The path as the mount shows it: below its root, else the mount itself.
    const std::filesystem::path group = std::filesystem::path(*path).lexically_normal();
    std::filesystem::path inside = group.lexically_relative(mount->root);
    if (inside.empty() || *inside.begin() == "..") inside = ".";
    for (std::filesystem::path dir = inside;;
         dir = dir.has_parent_path() ? dir.parent_path() : ".") {
      std::string full = (mount->mountPoint / dir).lexically_normal().string();
      if (full.size() > 1 && full.back() == '/') full.pop_back();
      folders.push_back({full, v1});
      if (dir == ".") break;
    }
  }
  return folders;
}

std::optional<std::uint64_t> cgroupRoom(const CgroupMemoryFiles& files) {
  std::optional<std::uint64_t> limit = parseNumber(files.limit);  // "max": none
  if (files.v1) {
    if (const auto parents = statField(files.stat, "hierarchical_memory_limit")) {
      limit = limit ? std::min(*limit, *parents) : *parents;
    }
  }
  const std::optional<std::uint64_t> usage = parseNumber(files.usage);
  if (!limit || !usage) return std::nullopt;
  const std::uint64_t cache =
      statField(files.stat, files.v1 ? "total_inactive_file" : "inactive_file").value_or(0);
  const std::uint64_t used = *usage - std::min(cache, *usage);
  return *limit > used ? *limit - used : 0;
}

MemoryReadings readMemoryReadings() {
  MemoryReadings r;
  r.available = kilobyteField(readFile("/proc/meminfo"), "MemAvailable");
  r.addressSpaceUsed = kilobyteField(readFile("/proc/self/status"), "VmSize");
  r.cgroupHeadroom = readCgroupHeadroom();
  rlimit limit{};
  if (getrlimit(RLIMIT_AS, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY) {
    r.addressSpaceLimit = limit.rlim_cur;
  }
  return r;
}

}  // namespace tesmic
