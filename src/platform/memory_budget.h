// How much more memory the process may take, and how much of it a run
// needs for an image of a given size.
#pragma once

#include <cstdint>

#include "platform/memory_readings.h"

namespace tesmic {

// What one run holds at its peak per pixel of the image: the loaded image,
// its HLS copy and the mask, and the copies that the two windows keep of
// what they show (measured: doc/robustness.md).
inline constexpr std::uint64_t kRunBytesPerPixel = 16;

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

}  // namespace tesmic
