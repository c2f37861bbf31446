// Pixels that one process decodes and another maps, without a copy: each
// image lives in a memfd of its own, handed over sealed against resizing.
#pragma once

#include <cstdint>
#include <limits>

#include <opencv2/core/mat.hpp>

#include "codec/codec_service.h"

namespace tesmic {

// What the decoding process may spend on the images it allocates.
struct DecodeAllowance {
  // The bytes the run may hold (memoryHeadroom): a buffer whose run would
  // need more (runBytes, by its pixels and their type) is refused.
  std::uint64_t headroom = std::numeric_limits<std::uint64_t>::max();
  // The CPU time of the request: raised for each buffer's pixels before it
  // is taken, since a decoder allocates its image once it has read the size
  // from the header. None: the limit stays.
  const CpuAllowance* cpu = nullptr;
};

// For the decoding process, set as the default allocator before decoding:
// allocates every cv::Mat in a memfd of its own, as OpenCV's own allocator
// lays it out (continuous, its steps filled in), within allowance. A buffer
// over it throws cv::Exception with cv::Error::StsNoMem before any memory is
// taken (cv::Error::StsOutOfRange when the limit on file sizes, ulimit -f,
// refuses the memfd): a decoder allocates its image before it decodes into it, so an
// image too large for the machine is refused from its header alone. Must
// outlive the images it allocates.
class MemfdAllocator final : public cv::MatAllocator {
 public:
  explicit MemfdAllocator(DecodeAllowance allowance = {});

  cv::UMatData* allocate(int dims, const int* sizes, int type, void* data, size_t* step,
                         cv::AccessFlag flags, cv::UMatUsageFlags usage) const override;
  bool allocate(cv::UMatData* data, cv::AccessFlag flags,
                cv::UMatUsageFlags usage) const override;
  // Unmaps what either side mapped; closes the memfd where one is kept.
  void deallocate(cv::UMatData* data) const override;

 private:
  DecodeAllowance allowance_;
};

// The memfd that holds exactly the whole of image, sealed so that it can no
// longer shrink or grow; -1 when image was not allocated by a MemfdAllocator
// or is a part of a larger one. The descriptor belongs to the image.
int sealedMemfdOf(const cv::Mat& image);

// For the receiving process: the pixels in fd as a rows x cols image of
// type, mapped shared and writable; unmapped when the last cv::Mat using
// them goes. Empty when fd is not sealed against shrinking or is smaller
// than the image, so a sender cannot pull the pages away under the reader.
// fd may be closed afterwards.
cv::Mat mapSharedPixels(int fd, int rows, int cols, int type);

}  // namespace tesmic
