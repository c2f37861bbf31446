#include "pass/huge_pages.h"

#include <sys/mman.h>

#include <cstddef>
#include <cstdint>

namespace tesmic {

cv::Mat imageOnHugePages(cv::Size size, int type) {
  cv::Mat image(size, type);
  constexpr std::uintptr_t kHugePage = std::uintptr_t{2} << 20;
  const auto begin = reinterpret_cast<std::uintptr_t>(image.datastart);
  const auto end = reinterpret_cast<std::uintptr_t>(image.dataend);
  const std::uintptr_t first = (begin + kHugePage - 1) & ~(kHugePage - 1);
  const std::uintptr_t last = end & ~(kHugePage - 1);
  // Only advice: an image smaller than a huge page, or a kernel without
  // them, simply keeps its small pages.
  if (first < last) madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);
  return image;
}

}  // namespace tesmic
