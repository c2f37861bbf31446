// Large images on 2 MB pages.
#pragma once

#include <opencv2/core/mat.hpp>

namespace tesmic {

// A new continuous image of this size and type, from OpenCV's usual
// allocator, with the kernel asked (madvise) to back the 2 MB pages that lie
// wholly inside its buffer with transparent huge pages, where it offers them:
// a pass over such an image needs 512 times fewer address translations,
// which is most of what a first pass over freshly written memory waits for.
// Its pixels are left unwritten, as the advice counts only for pages not yet
// touched: the first write decides.
cv::Mat imageOnHugePages(cv::Size size, int type);

}  // namespace tesmic
