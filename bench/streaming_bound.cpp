// Compiled once per instruction set by Highway's foreach_target, exactly as
// the pass is, so that both run on the same target.
#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "streaming_bound.cpp"
#include <hwy/foreach_target.h>  // IWYU pragma: keep
#include <hwy/cache_control.h>
#include <hwy/highway.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "pass/colour_classification_detail.h"
#include "streaming_bound.h"

HWY_BEFORE_NAMESPACE();
namespace tesmic::bench {
namespace HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

template <bool kNonTemporal>
void StreamRowsAs(const std::uint8_t* hls, std::size_t hlsStride,
                  std::uint8_t* mask, std::size_t maskStride,
                  std::size_t width, std::size_t height) {
  const hn::ScalableTag<std::uint8_t> d;
  const std::size_t lanes = hn::Lanes(d);  // also the vector's bytes
  const auto orOfChannels = [](const std::uint8_t* p) {
    return static_cast<std::uint8_t>(p[0] | p[1] | p[2]);
  };
  for (std::size_t y = 0; y < height; ++y) {
    const std::uint8_t* in = hls + y * hlsStride;
    std::uint8_t* out = mask + y * maskStride;
    std::size_t x = 0;
    if constexpr (kNonTemporal) {
      // Stream needs an aligned address: the bytes before the first one go
      // singly. Rows of the images benchmarked here are all aligned.
      const std::size_t offset = reinterpret_cast<std::uintptr_t>(out) % lanes;
      const std::size_t head = std::min(width, offset ? lanes - offset : 0);
      for (; x < head; ++x) out[x] = orOfChannels(in + 3 * x);
    }
    for (; x + lanes <= width; x += lanes) {
      hn::Vec<decltype(d)> c0, c1, c2;
      hn::LoadInterleaved3(d, in + 3 * x, c0, c1, c2);
      if constexpr (kNonTemporal) {
        hn::Stream(hn::Or3(c0, c1, c2), d, out + x);
      } else {
        hn::StoreU(hn::Or3(c0, c1, c2), d, out + x);
      }
    }
    for (; x < width; ++x) out[x] = orOfChannels(in + 3 * x);
  }
  // Streamed stores are weakly ordered; make them visible before returning.
  if constexpr (kNonTemporal) hwy::FlushStream();
}

void StreamRows(const std::uint8_t* hls, std::size_t hlsStride,
                std::uint8_t* mask, std::size_t maskStride, std::size_t width,
                std::size_t height) {
  StreamRowsAs<false>(hls, hlsStride, mask, maskStride, width, height);
}

void StreamRowsNonTemporal(const std::uint8_t* hls, std::size_t hlsStride,
                           std::uint8_t* mask, std::size_t maskStride,
                           std::size_t width, std::size_t height) {
  StreamRowsAs<true>(hls, hlsStride, mask, maskStride, width, height);
}

const char* TargetName() { return hwy::TargetName(HWY_TARGET); }

}  // namespace HWY_NAMESPACE
}  // namespace tesmic::bench
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace tesmic::bench {

HWY_EXPORT(StreamRows);
HWY_EXPORT(StreamRowsNonTemporal);
HWY_EXPORT(TargetName);

namespace {

void streamRows(const cv::Mat& hls, cv::Mat& mask, int from, int to, StoreStyle style) {
  const auto width = static_cast<std::size_t>(hls.cols);
  const auto height = static_cast<std::size_t>(to - from);
  if (style == StoreStyle::NonTemporal) {
    HWY_DYNAMIC_DISPATCH(StreamRowsNonTemporal)
    (hls.ptr<std::uint8_t>(from), hls.step, mask.ptr<std::uint8_t>(from), mask.step, width,
     height);
  } else {
    HWY_DYNAMIC_DISPATCH(StreamRows)
    (hls.ptr<std::uint8_t>(from), hls.step, mask.ptr<std::uint8_t>(from), mask.step, width,
     height);
  }
}

}  // namespace

void streamingBound(const cv::Mat& hls, cv::Mat& mask, StoreStyle style) {
  checkPassImages(hls, mask);
  streamRows(hls, mask, 0, hls.rows, style);
}

void streamingBound(const cv::Mat& hls, cv::Mat& mask, StoreStyle style,
                    WorkerPool& workers) {
  checkPassImages(hls, mask);
  auto rows = [&](int from, int to) { streamRows(hls, mask, from, to, style); };
  workers.shareRows(hls.rows, rowsPerPiece(hls.cols), rows);
}

const char* dispatchedTargetName() {
  return HWY_DYNAMIC_DISPATCH(TargetName)();
}

}  // namespace tesmic::bench
#endif  // HWY_ONCE
