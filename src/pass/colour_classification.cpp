// The pass is compiled once per instruction set by Highway's foreach_target
// (which includes this file again for each one) and picked at run time.
#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "pass/colour_classification.cpp"
#include <hwy/foreach_target.h>  // IWYU pragma: keep

#include <algorithm>
#include <cstddef>
#include <cstdint>

#include <hwy/cache_control.h>
#include <hwy/highway.h>

#include "pass/colour_classification.h"
#include "pass/colour_classification_detail.h"

HWY_BEFORE_NAMESPACE();
namespace tesmic {
namespace HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

// The same test one pixel at a time, for the pixels of a row before the
// first aligned vector and after the last whole one.
void ClassifyEach(const std::uint8_t* in, std::uint8_t* out, std::size_t from,
                  std::size_t to, const ByteThresholds& t) {
  for (std::size_t x = from; x < to; ++x) {
    const std::uint8_t* p = in + 3 * x;
    out[x] = passesThresholds(p[0], p[1], p[2], t) ? kSought : kOther;
  }
}

// One kernel for every row: deinterleave, three wrapped range tests done as
// saturating subtractions (zero when the channel passes), one store.
// kStream stores past the caches: a mask larger than them would otherwise
// be read from memory before each line of it is written.
template <bool kStream>
void ClassifyRowsWith(const std::uint8_t* hls, std::size_t hlsStride,
                      std::uint8_t* mask, std::size_t maskStride,
                      std::size_t width, std::size_t height,
                      const ByteThresholds& t) {
  const hn::ScalableTag<std::uint8_t> d;
  const std::size_t lanes = hn::Lanes(d);
  const auto start0 = hn::Set(d, t.start[0]);
  const auto start1 = hn::Set(d, t.start[1]);
  const auto start2 = hn::Set(d, t.start[2]);
  const auto span0 = hn::Set(d, t.span[0]);
  const auto span1 = hn::Set(d, t.span[1]);
  const auto span2 = hn::Set(d, t.span[2]);
  // Nonzero when no colour can pass, so that the same loop writes only 0.
  const auto nothing = hn::Set(d, t.matchesNothing ? 1 : 0);
  const auto zero = hn::Zero(d);

  for (std::size_t y = 0; y < height; ++y) {
    const std::uint8_t* in = hls + y * hlsStride;
    std::uint8_t* out = mask + y * maskStride;
    std::size_t x = 0;
    if constexpr (kStream) {
      // Streaming stores need aligned addresses; a view's row may not be.
      const std::size_t misalignment =
          reinterpret_cast<std::uintptr_t>(out) % (lanes * sizeof(*out));
      const std::size_t head = misalignment == 0 ? 0 : lanes - misalignment;
      x = std::min(head, width);
      ClassifyEach(in, out, 0, x, t);
    }
    for (; x + lanes <= width; x += lanes) {
      hn::Vec<decltype(d)> h, l, s;
      hn::LoadInterleaved3(d, in + 3 * x, h, l, s);
      const auto missH = hn::SaturatedSub(hn::Sub(h, start0), span0);
      const auto missL = hn::SaturatedSub(hn::Sub(l, start1), span1);
      const auto missS = hn::SaturatedSub(hn::Sub(s, start2), span2);
      const auto miss = hn::Or(hn::Or(missH, missL), hn::Or(missS, nothing));
      const auto verdict = hn::VecFromMask(d, hn::Eq(miss, zero));
      if constexpr (kStream) {
        hn::Stream(verdict, d, out + x);
      } else {
        hn::StoreU(verdict, d, out + x);
      }
    }
    ClassifyEach(in, out, x, width, t);
  }
  if constexpr (kStream) hwy::FlushStream();
}

void ClassifyRows(const std::uint8_t* hls, std::size_t hlsStride,
                  std::uint8_t* mask, std::size_t maskStride,
                  std::size_t width, std::size_t height,
                  const ByteThresholds& t, bool stream) {
  if (stream) {
    ClassifyRowsWith<true>(hls, hlsStride, mask, maskStride, width, height, t);
  } else {
    ClassifyRowsWith<false>(hls, hlsStride, mask, maskStride, width, height, t);
  }
}

}  // namespace HWY_NAMESPACE
}  // namespace tesmic
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace tesmic {

HWY_EXPORT(ClassifyRows);

namespace {

// The byte values lo..hi (inclusive, as wide integers so that bounds near the
// ends of int cannot overflow), clipped to 0..255; empty when lo > hi.
struct ByteInterval {
  std::int64_t lo;
  std::int64_t hi;

  static ByteInterval clipped(std::int64_t lo, std::int64_t hi) {
    return {std::max<std::int64_t>(lo, 0), std::min<std::int64_t>(hi, 255)};
  }
  bool empty() const { return lo > hi; }
};

}  // namespace

ByteThresholds byteThresholdsFor(const DetectionBounds& b) {
  ByteThresholds t;
  // Hue passes outside HL..HH: the complement, which wraps past 255.
  const ByteInterval excluded = ByteInterval::clipped(b.HL, b.HH);
  if (!excluded.empty()) {
    const std::int64_t excludedCount = excluded.hi - excluded.lo + 1;
    if (excludedCount == 256) t.matchesNothing = true;
    t.start[0] = static_cast<std::uint8_t>((excluded.hi + 1) & 0xFF);
    t.span[0] = static_cast<std::uint8_t>(255 - excludedCount);
  }
  // Lightness above SH and above VL, below SL.
  const ByteInterval lightness = ByteInterval::clipped(
      std::int64_t{std::max(b.SH, b.VL)} + 1, std::int64_t{b.SL} - 1);
  // Saturation above VH.
  const ByteInterval saturation =
      ByteInterval::clipped(std::int64_t{b.VH} + 1, 255);
  const ByteInterval* runs[2] = {&lightness, &saturation};
  for (int channel = 1; channel <= 2; ++channel) {
    const ByteInterval& run = *runs[channel - 1];
    if (run.empty()) {
      t.matchesNothing = true;
      continue;
    }
    t.start[channel] = static_cast<std::uint8_t>(run.lo);
    t.span[channel] = static_cast<std::uint8_t>(run.hi - run.lo);
  }
  return t;
}

// Three bytes read and one written per pixel; below the size of the last
// level cache the mask is better left in it.
bool usesStreamingStores(cv::Size size) {
  constexpr std::uint64_t kStreamFromBytes = std::uint64_t{16} << 20;
  const std::uint64_t pixels = std::uint64_t(size.width) * std::uint64_t(size.height);
  return pixels >= kStreamFromBytes / 4;
}

// Below this many pixels handing rows to another thread costs more than it
// saves, even with the thread awake (measured: doc/performance.md).
bool splitsBetweenThreads(cv::Size size) {
  constexpr std::uint64_t kSplitFromPixels = 100 * 1000;
  return std::uint64_t(size.width) * std::uint64_t(size.height) >= kSplitFromPixels;
}

int rowsPerPiece(int width) { return std::max(1, (1 << 16) / std::max(width, 1)); }

void checkPassImages(const cv::Mat& hls, const cv::Mat& mask) {
  CV_Assert(hls.dims == 2 && hls.type() == CV_8UC3);
  CV_Assert(mask.dims == 2 && mask.type() == CV_8UC1);
  CV_Assert(hls.size() == mask.size());
}

void classifyRows(const cv::Mat& hls, cv::Mat& mask, int fromRow, int toRow,
                  const ByteThresholds& thresholds, bool stream) {
  if (fromRow >= toRow) return;
  HWY_DYNAMIC_DISPATCH(ClassifyRows)
  (hls.ptr<std::uint8_t>(fromRow), hls.step, mask.ptr<std::uint8_t>(fromRow), mask.step,
   static_cast<std::size_t>(hls.cols), static_cast<std::size_t>(toRow - fromRow),
   thresholds, stream);
}

namespace {

// Both kinds of store, a whole vector and a tail, on a buffer of its own.
void warmUp() {
  constexpr std::size_t kPixels = 67;
  alignas(64) std::uint8_t hls[3 * kPixels] = {};
  alignas(64) std::uint8_t mask[kPixels];
  const ByteThresholds thresholds;
  for (const bool stream : {false, true}) {
    HWY_DYNAMIC_DISPATCH(ClassifyRows)
    (hls, sizeof hls, mask, sizeof mask, kPixels, 1, thresholds, stream);
  }
}

}  // namespace

void classifyPixels(const cv::Mat& hls, cv::Mat& mask,
                    const DetectionBounds& bounds) {
  checkPassImages(hls, mask);
  classifyRows(hls, mask, 0, hls.rows, byteThresholdsFor(bounds),
               usesStreamingStores(hls.size()));
}

void classifyPixels(const cv::Mat& hls, cv::Mat& mask,
                    const DetectionBounds& bounds, WorkerPool& workers) {
  checkPassImages(hls, mask);
  const ByteThresholds thresholds = byteThresholdsFor(bounds);
  const bool stream = usesStreamingStores(hls.size());
  if (workers.size() == 1 || !splitsBetweenThreads(hls.size())) {
    classifyRows(hls, mask, 0, hls.rows, thresholds, stream);
    return;
  }
  // Runs of rows of about 64K pixels each, handed out in order to whichever
  // thread asks first: a thread kept off its core leaves its share to the
  // others instead of holding them up.
  auto rows = [&](int from, int to) { classifyRows(hls, mask, from, to, thresholds, stream); };
  workers.shareRows(hls.rows, rowsPerPiece(hls.cols), rows);
}

void prepareClassification(WorkerPool& workers) {
  warmUp();  // the first dispatch picks the instruction set, once
  auto job = [] { warmUp(); };
  workers.runOnEach(job);
}

}  // namespace tesmic
#endif  // HWY_ONCE
