// The views are compiled once per instruction set by Highway's foreach_target
// (which includes this file again for each one) and picked at run time.
#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "pass/view_composition.cpp"
#include <hwy/foreach_target.h>  // IWYU pragma: keep

#include <cstddef>
#include <cstdint>

#include <hwy/highway.h>

#include "pass/view_composition.h"

HWY_BEFORE_NAMESPACE();
namespace tesmic {
namespace HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

// One row of a view. The mask is 0 or 255, so it serves as a bit mask:
// anded with the picture it cuts the marked pixels out, and it selects the
// tinted colour bit by bit.
template <bool kTinted>
void ComposeRowWith(const std::uint8_t* picture, const std::uint8_t* mask, std::uint8_t* out,
                    std::size_t width) {
  const hn::ScalableTag<std::uint8_t> d;
  const std::size_t lanes = hn::Lanes(d);
  const auto tintB = hn::Set(d, kTint[0]);
  const auto tintG = hn::Set(d, kTint[1]);
  const auto tintR = hn::Set(d, kTint[2]);
  std::size_t x = 0;
  for (; x + lanes <= width; x += lanes) {
    hn::Vec<decltype(d)> b, g, r;
    hn::LoadInterleaved3(d, picture + 3 * x, b, g, r);
    const auto m = hn::LoadU(d, mask + x);
    if constexpr (kTinted) {
      b = hn::IfVecThenElse(m, hn::AverageRound(b, tintB), b);
      g = hn::IfVecThenElse(m, hn::AverageRound(g, tintG), g);
      r = hn::IfVecThenElse(m, hn::AverageRound(r, tintR), r);
    } else {
      b = hn::And(b, m);
      g = hn::And(g, m);
      r = hn::And(r, m);
    }
    hn::StoreInterleaved3(b, g, r, d, out + 3 * x);
  }
  for (; x < width; ++x) {
    for (int c = 0; c < 3; ++c) {
      const unsigned v = picture[3 * x + c];
      if (kTinted) {
        out[3 * x + c] = static_cast<std::uint8_t>(mask[x] ? (v + kTint[c] + 1) / 2 : v);
      } else {
        out[3 * x + c] = static_cast<std::uint8_t>(v & mask[x]);
      }
    }
  }
}

void ComposeRows(const std::uint8_t* picture, std::size_t pictureStride,
                 const std::uint8_t* mask, std::size_t maskStride, std::uint8_t* out,
                 std::size_t outStride, std::size_t width, std::size_t height, bool tinted) {
  for (std::size_t y = 0; y < height; ++y) {
    const std::uint8_t* in = picture + y * pictureStride;
    const std::uint8_t* m = mask + y * maskStride;
    std::uint8_t* o = out + y * outStride;
    if (tinted) {
      ComposeRowWith<true>(in, m, o, width);
    } else {
      ComposeRowWith<false>(in, m, o, width);
    }
  }
}

}  // namespace HWY_NAMESPACE
}  // namespace tesmic
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace tesmic {

HWY_EXPORT(ComposeRows);

void composeView(MaskView view, const cv::Mat& picture, const cv::Mat& mask, cv::Mat& shown) {
  CV_Assert(view != MaskView::kMask);
  CV_Assert(picture.dims == 2 && picture.type() == CV_8UC3);
  CV_Assert(mask.dims == 2 && mask.type() == CV_8UC1 && mask.size() == picture.size());
  shown.create(picture.size(), CV_8UC3);
  HWY_DYNAMIC_DISPATCH(ComposeRows)
  (picture.data, picture.step, mask.data, mask.step, shown.data, shown.step,
   static_cast<std::size_t>(picture.cols), static_cast<std::size_t>(picture.rows),
   view == MaskView::kTinted);
}

}  // namespace tesmic
#endif  // HWY_ONCE
