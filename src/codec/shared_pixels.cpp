#include "codec/shared_pixels.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>

#include <opencv2/core.hpp>

#include "codec/confinement.h"
#include "platform/memory_budget.h"

namespace tesmic {
namespace {

constexpr unsigned kSizeSeals = F_SEAL_SHRINK | F_SEAL_GROW | F_SEAL_SEAL;

// The memfd behind an allocation is kept in UMatData::handle.
int descriptorOf(const cv::UMatData* u) {
  return static_cast<int>(reinterpret_cast<std::intptr_t>(u->handle));
}

// Unmaps a mapping of mapSharedPixels when its last cv::Mat goes.
const MemfdAllocator* mappingReleaser() {
  static const MemfdAllocator releaser;
  return &releaser;
}

}  // namespace

MemfdAllocator::MemfdAllocator(DecodeAllowance allowance) : allowance_(allowance) {}

cv::UMatData* MemfdAllocator::allocate(int dims, const int* sizes, int type, void* data,
                                       size_t* step, cv::AccessFlag,
                                       cv::UMatUsageFlags) const {
  if (data == nullptr) {
    // In floating point: a product of sizes must not wrap around.
    double pixels = 1;
    for (int i = 0; i < dims; ++i) pixels *= sizes[i];
    const bool fits = pixels < 0x1p63 && runBytes(static_cast<std::uint64_t>(pixels),
                                                  CV_ELEM_SIZE(type)) <= allowance_.headroom;
    if (!fits) CV_Error(cv::Error::StsNoMem, "the image does not fit in the memory available");
    if (allowance_.cpu != nullptr) allowance_.cpu->allowPixels(pixels);
  }
  // As OpenCV's own allocator does: a continuous buffer, its steps filled in.
  std::size_t total = CV_ELEM_SIZE(type);
  for (int i = dims - 1; i >= 0; --i) {
    if (step != nullptr) {
      if (data != nullptr && step[i] != cv::Mat::AUTO_STEP) {
        CV_Assert(total <= step[i]);
        total = step[i];
      } else {
        step[i] = total;
      }
    }
    total *= static_cast<std::size_t>(sizes[i]);
  }
  auto* u = new cv::UMatData(this);
  u->size = total;
  u->handle = reinterpret_cast<void*>(std::intptr_t{-1});
  if (data != nullptr) {
    u->data = u->origdata = static_cast<uchar*>(data);
    u->flags |= cv::UMatData::USER_ALLOCATED;
    return u;
  }
  const int fd = memfd_create("tesmic-pixels", MFD_CLOEXEC | MFD_ALLOW_SEALING);
  void* pixels = MAP_FAILED;
  bool overFileSizeLimit = false;
  if (fd >= 0 && ftruncate(fd, static_cast<off_t>(total)) == 0) {
    pixels = mmap(nullptr, std::max<std::size_t>(total, 1), PROT_READ | PROT_WRITE, MAP_SHARED,
                  fd, 0);
  } else {
    overFileSizeLimit = errno == EFBIG;
  }
  if (pixels == MAP_FAILED) {
    if (fd >= 0) close(fd);
    delete u;
    if (overFileSizeLimit) CV_Error(cv::Error::StsOutOfRange, "over the limit on file sizes");
    CV_Error(cv::Error::StsNoMem, "out of memory");
  }
  u->data = u->origdata = static_cast<uchar*>(pixels);
  u->handle = reinterpret_cast<void*>(std::intptr_t{fd});
  return u;
}

bool MemfdAllocator::allocate(cv::UMatData* u, cv::AccessFlag, cv::UMatUsageFlags) const {
  return u != nullptr;
}

void MemfdAllocator::deallocate(cv::UMatData* u) const {
  if (u == nullptr) return;
  if ((u->flags & cv::UMatData::USER_ALLOCATED) == 0) {
    munmap(u->origdata, std::max<std::size_t>(u->size, 1));
  }
  if (descriptorOf(u) >= 0) close(descriptorOf(u));
  delete u;
}

int sealedMemfdOf(const cv::Mat& image) {
  const cv::UMatData* u = image.u;
  if (u == nullptr || dynamic_cast<const MemfdAllocator*>(u->currAllocator) == nullptr || image.data != u->data ||
      image.total() * image.elemSize() != u->size || !image.isContinuous()) {
    return -1;
  }
  const int fd = descriptorOf(u);
  if (fd < 0) return -1;
  const int seals = fcntl(fd, F_GET_SEALS);
  if (seals < 0) return -1;
  if ((seals & kSizeSeals) == kSizeSeals) return fd;
  return fcntl(fd, F_ADD_SEALS, kSizeSeals) == 0 ? fd : -1;
}

cv::Mat mapSharedPixels(int fd, int rows, int cols, int type) {
  if (rows <= 0 || cols <= 0) return {};
  const std::size_t bytes =
      static_cast<std::size_t>(rows) * static_cast<std::size_t>(cols) * CV_ELEM_SIZE(type);
  struct stat status {};
  const int seals = fcntl(fd, F_GET_SEALS);
  if (seals < 0 || (seals & F_SEAL_SHRINK) == 0 || fstat(fd, &status) != 0 ||
      static_cast<std::size_t>(status.st_size) < bytes) {
    return {};
  }
  void* pixels = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
  if (pixels == MAP_FAILED) return {};
  cv::Mat image(rows, cols, type, pixels);
  // The mapping goes to a UMatData of its own, so that the last cv::Mat
  // sharing it unmaps it; a later create() of another size allocates anew.
  auto* u = new cv::UMatData(mappingReleaser());
  u->data = u->origdata = static_cast<uchar*>(pixels);
  u->size = bytes;
  u->handle = reinterpret_cast<void*>(std::intptr_t{-1});
  u->refcount = 1;
  image.u = u;
  return image;
}

}  // namespace tesmic
