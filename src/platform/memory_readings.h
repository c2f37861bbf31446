// What the system tells about the process's memory: /proc and the memory
// cgroup, read as they are now.
#pragma once

#include <cstdint>
#include <optional>

namespace tesmic {

// Any of it may be unknown.
struct MemoryReadings {
  std::optional<std::uint64_t> available;          // MemAvailable, bytes
  std::optional<std::uint64_t> cgroupHeadroom;     // least room in the memory cgroup and its parents
  std::optional<std::uint64_t> addressSpaceLimit;  // RLIMIT_AS, bytes
  std::optional<std::uint64_t> addressSpaceUsed;   // VmSize, bytes
};

// Reads the above from /proc and the memory cgroup (v2, or v1's memory
// controller, wherever /proc/self/mountinfo says they are mounted). What
// cannot be read stays unknown.
MemoryReadings readMemoryReadings();

}  // namespace tesmic
