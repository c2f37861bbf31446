#include "pass/hls_histograms.h"

#include <algorithm>
#include <mutex>

#include <opencv2/core.hpp>

#include "pass/colour_classification_detail.h"

namespace tesmic {
namespace {

// Two sets of counts, for the even and the odd pixels: runs of one value (a
// flat sky) would otherwise wait on the same counter at every pixel.
struct Tally {
  std::uint32_t counts[2][kHlsChannels][256] = {};

  void addTo(HlsCounts& total) const {
    for (int c = 0; c < kHlsChannels; ++c) {
      for (int v = 0; v < 256; ++v) total[c][v] += counts[0][c][v] + counts[1][c][v];
    }
  }
};

constexpr std::int64_t kHistogramPixels = 2'000'000;

// Counts over every rowStep-th row of hls: countRow(row, width, tally) for
// each.
template <typename CountRow>
HlsCounts countRows(const cv::Mat& hls, WorkerPool& workers, int rowStep, const CountRow& countRow) {
  CV_Assert(hls.dims == 2 && hls.type() == CV_8UC3 && rowStep >= 1);
  HlsCounts total{};
  std::mutex merging;
  const int taken = (hls.rows + rowStep - 1) / rowStep;
  auto rows = [&](int from, int to) {
    Tally tally;
    for (int i = from; i < to; ++i) countRow(hls.ptr<std::uint8_t>(i * rowStep), hls.cols, tally);
    const std::lock_guard<std::mutex> lock(merging);
    tally.addTo(total);
  };
  if (workers.size() == 1 || !splitsBetweenThreads({hls.cols, taken})) {
    rows(0, taken);
  } else {
    workers.shareRows(taken, rowsPerPiece(hls.cols), rows);
  }
  return total;
}

}  // namespace

std::array<std::bitset<256>, kHlsChannels> passingValues(const DetectionBounds& b) {
  std::array<std::bitset<256>, kHlsChannels> passing;
  for (int v = 0; v < 256; ++v) {
    passing[0][v] = v > b.HH || v < b.HL;
    passing[1][v] = v > b.SH && v < b.SL && v > b.VL;
    passing[2][v] = v > b.VH;
  }
  return passing;
}

int histogramRowStep(cv::Size image) {
  const std::int64_t pixels = std::int64_t{image.width} * image.height;
  return static_cast<int>(std::max<std::int64_t>(1, (pixels + kHistogramPixels - 1) / kHistogramPixels));
}

HlsCounts channelCounts(const cv::Mat& hls, WorkerPool& workers, int rowStep) {
  return countRows(hls, workers, rowStep, [](const std::uint8_t* p, int width, Tally& t) {
    int x = 0;
    for (; x + 1 < width; x += 2, p += 6) {
      ++t.counts[0][0][p[0]];
      ++t.counts[0][1][p[1]];
      ++t.counts[0][2][p[2]];
      ++t.counts[1][0][p[3]];
      ++t.counts[1][1][p[4]];
      ++t.counts[1][2][p[5]];
    }
    if (x < width) {
      ++t.counts[0][0][p[0]];
      ++t.counts[0][1][p[1]];
      ++t.counts[0][2][p[2]];
    }
  });
}

HlsCounts countsPassingOthers(const cv::Mat& hls, const DetectionBounds& bounds,
                              WorkerPool& workers, int rowStep) {
  // Each channel's verdict as a table of 0 and 1, so that every pixel adds
  // to each channel's counts without a branch.
  std::uint8_t passes[kHlsChannels][256];
  const auto passing = passingValues(bounds);
  for (int c = 0; c < kHlsChannels; ++c) {
    for (int v = 0; v < 256; ++v) passes[c][v] = passing[c][v] ? 1 : 0;
  }
  return countRows(hls, workers, rowStep, [&passes](const std::uint8_t* p, int width, Tally& t) {
    for (int x = 0; x < width; ++x, p += 3) {
      std::uint32_t(&counts)[kHlsChannels][256] = t.counts[x & 1];
      const std::uint8_t h = passes[0][p[0]];
      const std::uint8_t l = passes[1][p[1]];
      const std::uint8_t s = passes[2][p[2]];
      counts[0][p[0]] += l & s;
      counts[1][p[1]] += h & s;
      counts[2][p[2]] += h & l;
    }
  });
}

}  // namespace tesmic
