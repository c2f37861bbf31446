#include "platform/memory_budget.h"

#include <algorithm>
#include <limits>

namespace tesmic {

std::uint64_t memoryHeadroom(const MemoryReadings& r) {
  std::uint64_t room = std::numeric_limits<std::uint64_t>::max();
  if (r.available) room = std::min(room, *r.available);
  if (r.cgroupHeadroom) room = std::min(room, *r.cgroupHeadroom);
  if (r.addressSpaceLimit) {
    const std::uint64_t used = r.addressSpaceUsed.value_or(0);
    room = std::min(room, *r.addressSpaceLimit > used ? *r.addressSpaceLimit - used : 0);
  }
  return room;
}

std::uint64_t largestImageBytes(std::uint64_t headroom) {
  return headroom / kRunBytesPerPixel * 3;
}

std::uint64_t runBytes(std::uint64_t pixels, std::uint64_t decodedBytesPerPixel) {
  // The decoded image and the 8-bit, three-channel copy made from it.
  const std::uint64_t perPixel = std::max(kRunBytesPerPixel, decodedBytesPerPixel + 3);
  return pixels > std::numeric_limits<std::uint64_t>::max() / perPixel
             ? std::numeric_limits<std::uint64_t>::max()
             : pixels * perPixel;
}

}  // namespace tesmic
