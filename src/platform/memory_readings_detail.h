// The parsers behind readMemoryReadings, apart so that the tests can feed
// them the texts of /proc and the memory cgroup's files of other machines.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tesmic {

// The number of a "Name:   123 kB" line of /proc/meminfo or /proc/self/status,
// in bytes.
std::optional<std::uint64_t> kilobyteField(std::string_view text,
                                           std::string_view name);

// A folder of the process's memory cgroup, and which version of cgroups it
// belongs to.
struct CgroupFolder {
  std::string path;
  bool v1 = false;  // the v1 memory controller; else the v2 hierarchy
};

// The process's memory cgroup folders and their parents up to where each
// hierarchy is mounted, innermost first, from the texts of /proc/self/cgroup
// and /proc/self/mountinfo. A cgroup outside the mounted part (a container
// that sees only its own) maps to the mount point.
std::vector<CgroupFolder> memoryCgroupFolders(std::string_view procSelfCgroup,
                                              std::string_view mountinfo);

// The texts of one cgroup's memory files.
struct CgroupMemoryFiles {
  bool v1 = false;
  std::string limit;  // memory.max (v2), memory.limit_in_bytes (v1)
  std::string usage;  // memory.current (v2), memory.usage_in_bytes (v1)
  std::string stat;   // memory.stat
};

// The room left under one cgroup's limit: the limit less what it uses,
// where the inactive file cache does not count (the kernel reclaims it
// before it calls the OOM killer). v1 also takes the least limit of its
// parents from memory.stat. Nothing when there is no limit ("max") or a
// file does not read as a number.
std::optional<std::uint64_t> cgroupRoom(const CgroupMemoryFiles& files);

}  // namespace tesmic
