#include "platform/memory_budget.h"
#include "platform/memory_readings_detail.h"

#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace tesmic {
namespace {

constexpr std::uint64_t kMiB = std::uint64_t{1} << 20;

TEST(MemoryBudget, ReadsKilobyteFieldsAndTakesTheLeastRoom) {
  const char meminfo[] =
      "MemTotal:       24576000 kB\nMemFree:  100 kB\nMemAvailable:   20480000 kB\n";
  EXPECT_EQ(kilobyteField(meminfo, "MemAvailable"), std::uint64_t{20480000} * 1024);
  EXPECT_EQ(kilobyteField(meminfo, "MemFree"), std::uint64_t{100} * 1024);
  EXPECT_EQ(kilobyteField(meminfo, "Mem"), std::nullopt);
  EXPECT_EQ(kilobyteField("VmSize:\tnone\n", "VmSize"), std::nullopt);

  EXPECT_EQ(memoryHeadroom({}), std::numeric_limits<std::uint64_t>::max());
  MemoryReadings r;
  r.available = 8000 * kMiB;
  r.cgroupHeadroom = 3000 * kMiB;
  EXPECT_EQ(memoryHeadroom(r), 3000 * kMiB);
  r.addressSpaceLimit = 2048 * kMiB;
  r.addressSpaceUsed = 548 * kMiB;
  EXPECT_EQ(memoryHeadroom(r), 1500 * kMiB);
  r.addressSpaceUsed = 4096 * kMiB;  // already past the limit
  EXPECT_EQ(memoryHeadroom(r), 0u);
  EXPECT_EQ(largestImageBytes(kRunBytesPerPixel * 1000), 3000u);
}

// The memory cgroup as /proc shows it (v2, v1 as on Docker's older hosts,
// a container that sees only its own part), and the room its files leave.
TEST(MemoryBudget, FindsTheMemoryCgroupAndTheRoomItsFilesLeave) {
  const std::string v2Mount = "29 22 0:26 / /sys/fs/cgroup rw - cgroup2 cgroup2 rw\n";
  const std::string v1Mounts =
      "30 22 0:27 / /sys/fs/cgroup rw - tmpfs tmpfs rw\n"
      "31 30 0:28 / /sys/fs/cgroup/cpu rw - cgroup cgroup rw,cpu\n"
      "34 30 0:31 / /sys/fs/cgroup/memory rw - cgroup cgroup rw,memory\n";
  const struct {
    const char* what;
    std::string cgroup;
    std::string mountinfo;
    std::vector<std::string> folders;  // "v1:" marks the v1 ones
  } layouts[] = {
      {"v2, nested", "0::/user.slice/run.scope\n", v2Mount,
       {"/sys/fs/cgroup/user.slice/run.scope", "/sys/fs/cgroup/user.slice", "/sys/fs/cgroup"}},
      {"v1 memory and an empty v2 line", "4:memory:/api/db40\n2:cpu:/\n0::/\n", v1Mounts,
       {"v1:/sys/fs/cgroup/memory/api/db40", "v1:/sys/fs/cgroup/memory/api",
        "v1:/sys/fs/cgroup/memory"}},
      {"v1, the container's own part mounted",
       "5:cpu,memory:/docker/ab\n",
       "34 30 0:31 /docker/ab /sys/fs/cgroup/memory rw - cgroup cgroup rw,cpu,memory\n",
       {"v1:/sys/fs/cgroup/memory"}},
      {"v2, a path outside the mounted part, a space in the mount point", "0::/elsewhere\n",
       "29 22 0:26 /mine /sys/fs/my\\040cgroup rw - cgroup2 cgroup2 rw\n",
       {"/sys/fs/my cgroup"}},
      {"no cgroup mounted", "0::/a\n", "22 1 8:1 / / rw - ext4 /dev/vda rw\n", {}},
  };
  for (const auto& layout : layouts) {
    std::vector<std::string> folders;
    for (const CgroupFolder& f : memoryCgroupFolders(layout.cgroup, layout.mountinfo)) {
      folders.push_back((f.v1 ? "v1:" : "") + f.path);
    }
    EXPECT_EQ(folders, layout.folders) << layout.what;
  }

  constexpr std::uint64_t kGiB = 1024 * kMiB;
  const std::string v1Stat =
      "cache 99\ninactive_file 7\nhierarchical_memory_limit 9223372036854771712\n"
      "total_inactive_file " + std::to_string(600 * kMiB) + "\n";
  const struct {
    const char* what;
    CgroupMemoryFiles files;
    std::optional<std::uint64_t> room;
  } rooms[] = {
      {"v2 full of reclaimable cache",
       {false, std::to_string(kGiB) + "\n", std::to_string(kGiB - 1) + "\n",
        "anon 1\nactive_file 5\ninactive_file " + std::to_string(900 * kMiB) + "\n"},
       900 * kMiB + 1},
      {"v2 without a limit", {false, "max\n", "1000\n", ""}, std::nullopt},
      {"v2 over its limit", {false, "1000\n", "5000\n", "inactive_file 10\n"}, 0},
      {"v1, its own total cache counted, not the local one",
       {true, std::to_string(2 * kGiB), std::to_string(kGiB), v1Stat}, kGiB + 600 * kMiB},
      {"v1, unlimited itself, a parent's limit",
       {true, "9223372036854771712\n", std::to_string(kGiB),
        "hierarchical_memory_limit " + std::to_string(kGiB + kGiB / 2) + "\n"},
       kGiB / 2},
      {"unreadable usage", {true, "1000\n", "", ""}, std::nullopt},
  };
  for (const auto& r : rooms) EXPECT_EQ(cgroupRoom(r.files), r.room) << r.what;
}

}  // namespace
}  // namespace tesmic
