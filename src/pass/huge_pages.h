// Large images on 2 MB pages.
#pragma once

#include <opencv2/core/mat.hpp>

namespace tesmic {

// An allocator for cv::Mat that asks the kernel to back buffers of 2 MB or
// more with transparent huge pages (madvise, where the kernel offers them):
// a pass over such an image needs 512 times fewer address translations,
// which is most of what a first pass over freshly written memory waits for.
// Smaller buffers come from OpenCV's usual allocator. Set it on a Mat before
// it is created: `m.allocator = hugePageAllocator(); m.create(...)`.
cv::MatAllocator* hugePageAllocator();

}  // namespace tesmic
