// How much more memory the process may take, and a limit that refuses an
// image whose run would not fit before a byte of it is decoded.
#pragma once

#include <cstdint>
#include <optional>

namespace tesmic {

// What one run holds at its peak per pixel of the image: the loaded image,
// its HLS copy and the mask, and the copies that the two windows keep of
// what they show (measured: doc/robustness.md).
inline constexpr std::uint64_t kRunBytesPerPixel = 16;

// What the system tells about memory; any of it may be unknown.
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

// The bytes the process may still allocate without swapping, meeting a
// limit or waking the OOM killer: the least of what the readings allow, or
// UINT64_MAX when they allow anything.
std::uint64_t memoryHeadroom(const MemoryReadings& readings);

// The largest 8-bit, three-channel image whose run fits in headroom bytes,
// in bytes of that image.
std::uint64_t largestImageBytes(std::uint64_t headroom);

// The bytes a run holds at its peak for an image of this many pixels that
// the decoder hands over with decodedBytesPerPixel bytes each: the run's
// own kRunBytesPerPixel, unless the decoded image and its 8-bit copy need
// more at once (four channels of double, say).
std::uint64_t runBytes(std::uint64_t pixels, std::uint64_t decodedBytesPerPixel);

// While one exists, allocating a cv::Mat through the default allocator
// whose run would not fit where an 8-bit, three-channel image of maxBytes
// just fits (largestImageBytes) throws cv::Exception with
// cv::Error::StsNoMem before any memory is taken: a Mat is counted by its
// pixels (runBytes), so a floating-point image is allowed as many as an
// 8-bit one. Decoders allocate their image before they decode into it, so
// an image too large for the machine is refused from its header alone.
// Not for use from several threads; limits do not nest.
class MatAllocationLimit {
 public:
  explicit MatAllocationLimit(std::uint64_t maxBytes);
  ~MatAllocationLimit();
  MatAllocationLimit(const MatAllocationLimit&) = delete;
  MatAllocationLimit& operator=(const MatAllocationLimit&) = delete;

 private:
  class Allocator;
  Allocator* allocator_;
};

}  // namespace tesmic
