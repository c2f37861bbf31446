#include "pass/huge_pages.h"

#include <sys/mman.h>

#include <cstdlib>

#include <opencv2/core.hpp>

namespace tesmic {
namespace {

constexpr std::size_t kHugePage = std::size_t{2} << 20;

class HugePageAllocator : public cv::MatAllocator {
 public:
  // As OpenCV's own allocator does: a continuous buffer, its steps filled in.
  cv::UMatData* allocate(int dims, const int* sizes, int type, void* data, size_t* step,
                         cv::AccessFlag, cv::UMatUsageFlags) const override {
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
    if (data != nullptr) {
      u->data = u->origdata = static_cast<uchar*>(data);
      u->flags |= cv::UMatData::USER_ALLOCATED;
      return u;
    }
    if (total < kHugePage) {
      u->data = u->origdata = static_cast<uchar*>(cv::fastMalloc(total));
      return u;
    }
    const std::size_t rounded = (total + kHugePage - 1) / kHugePage * kHugePage;
    void* buffer = std::aligned_alloc(kHugePage, rounded);
    if (buffer == nullptr) {
      delete u;
      CV_Error(cv::Error::StsNoMem, "out of memory");
    }
    madvise(buffer, rounded, MADV_HUGEPAGE);  // only advice: fine if refused
    u->data = u->origdata = static_cast<uchar*>(buffer);
    return u;
  }

  bool allocate(cv::UMatData* u, cv::AccessFlag, cv::UMatUsageFlags) const override {
    return u != nullptr;
  }

  void deallocate(cv::UMatData* u) const override {
    if (u == nullptr) return;
    if ((u->flags & cv::UMatData::USER_ALLOCATED) == 0) {
      if (u->size < kHugePage) {
        cv::fastFree(u->origdata);
      } else {
        std::free(u->origdata);
      }
    }
    delete u;
  }
};

}  // namespace

cv::MatAllocator* hugePageAllocator() {
  static HugePageAllocator allocator;
  return &allocator;
}

}  // namespace tesmic
