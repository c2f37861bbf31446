#include "pass/colour_histogram.h"

#include <algorithm>
#include <atomic>
#include <cstddef>

namespace tesmic {
namespace {

constexpr int kBins = ColourHistogram::kBins;
constexpr int kShift = ColourHistogram::kBinShift;
constexpr std::size_t kJointSize = std::size_t{kHues} * kBins * kBins;
constexpr std::size_t kExactSize = std::size_t{kHues} * kLevels;
constexpr int kPixelsPerRun = 1 << 16;

struct Tables {
  std::vector<std::uint32_t> joint = std::vector<std::uint32_t>(kJointSize);
  std::vector<std::uint32_t> lightness = std::vector<std::uint32_t>(kExactSize);
  std::vector<std::uint32_t> saturation = std::vector<std::uint32_t>(kExactSize);
};

void countRows(const cv::Mat& hls, int fromRow, int toRow, Tables& t) {
  std::uint32_t* joint = t.joint.data();
  std::uint32_t* lightness = t.lightness.data();
  std::uint32_t* saturation = t.saturation.data();
  for (int y = fromRow; y < toRow; ++y) {
    const std::uint8_t* p = hls.ptr<std::uint8_t>(y);
    for (int x = 0; x < hls.cols; ++x, p += 3) {
      const unsigned h = std::min<unsigned>(p[0], kHues - 1);
      const unsigned l = p[1];
      const unsigned s = p[2];
      ++joint[(h * kBins + (l >> kShift)) * kBins + (s >> kShift)];
      ++lightness[h * kLevels + l];
      ++saturation[h * kLevels + s];
    }
  }
}

void add(std::vector<std::uint32_t>& to, const std::vector<std::uint32_t>& from) {
  for (std::size_t i = 0; i < to.size(); ++i) to[i] += from[i];
}

}  // namespace

ColourHistogram::ColourHistogram(const cv::Mat& hls, WorkerPool& workers) {
  CV_Assert(hls.type() == CV_8UC3 && hls.dims == 2);
  // One set of tables a thread, made here so that no pool thread allocates.
  std::vector<Tables> tables(workers.size());
  const int rowsPerRun = std::max(1, kPixelsPerRun / std::max(1, hls.cols));
  const int runs = (hls.rows + rowsPerRun - 1) / rowsPerRun;
  std::atomic<unsigned> nextTables{0};
  std::atomic<int> nextRun{0};
  auto job = [&] {
    Tables& mine = tables[nextTables.fetch_add(1, std::memory_order_relaxed)];
    for (int run = nextRun.fetch_add(1, std::memory_order_relaxed); run < runs;
         run = nextRun.fetch_add(1, std::memory_order_relaxed)) {
      countRows(hls, run * rowsPerRun, std::min(hls.rows, (run + 1) * rowsPerRun), mine);
    }
  };
  workers.share(job);
  const unsigned used = std::min<unsigned>(nextTables.load(), workers.size());
  for (unsigned i = 1; i < used; ++i) {
    add(tables[0].joint, tables[i].joint);
    add(tables[0].lightness, tables[i].lightness);
    add(tables[0].saturation, tables[i].saturation);
  }
  joint_ = std::move(tables[0].joint);
  lightness_ = std::move(tables[0].lightness);
  saturation_ = std::move(tables[0].saturation);
}

ColourHistogram::BinShares ColourHistogram::sharesWithin(const std::uint32_t* exact, int above,
                                                         int below) {
  BinShares shares{};
  for (int b = 0; b < kBins; ++b) {
    const int first = b << kShift;
    const int last = first + (1 << kShift) - 1;
    if (first > above && last < below) {
      shares[static_cast<std::size_t>(b)] = 1;
    } else if (last > above && first < below) {  // the bin holds an end
      std::uint64_t total = 0, inside = 0;
      for (int v = first; v <= last; ++v) {
        total += exact[v];
        if (v > above && v < below) inside += exact[v];
      }
      shares[static_cast<std::size_t>(b)] =
          total == 0 ? 0.0f
                     : static_cast<float>(static_cast<double>(inside) / static_cast<double>(total));
    }
  }
  return shares;
}

std::array<double, kHues> ColourHistogram::huesIn(const ColourBox& box) const {
  std::array<double, kHues> out{};
  for (int h = 0; h < kHues; ++h) {
    const BinShares inL = sharesWithin(&lightness_[std::size_t{kLevels} * h], box.lightnessAbove,
                                       box.lightnessBelow);
    const BinShares inS =
        sharesWithin(&saturation_[std::size_t{kLevels} * h], box.saturationAbove, kLevels);
    double sum = 0;
    for (int lb = 0; lb < kBins; ++lb) {
      if (inL[static_cast<std::size_t>(lb)] == 0) continue;
      const std::uint32_t* row = &joint_[(std::size_t{kBins} * h + lb) * kBins];
      float rowSum = 0;
      for (int sb = 0; sb < kBins; ++sb) {
        rowSum += static_cast<float>(row[sb]) * inS[static_cast<std::size_t>(sb)];
      }
      sum += static_cast<double>(rowSum) * inL[static_cast<std::size_t>(lb)];
    }
    out[static_cast<std::size_t>(h)] = sum;
  }
  return out;
}

std::array<double, kLevels> ColourHistogram::lightnessesIn(const ColourBox& box) const {
  std::array<double, kLevels> out{};
  for (int h = 0; h < kHues; ++h) {
    if (!box.hues[static_cast<std::size_t>(h)]) continue;
    const BinShares inS =
        sharesWithin(&saturation_[std::size_t{kLevels} * h], box.saturationAbove, kLevels);
    const std::uint32_t* exact = &lightness_[std::size_t{kLevels} * h];
    for (int lb = 0; lb < kBins; ++lb) {
      const std::uint32_t* row = &joint_[(std::size_t{kBins} * h + lb) * kBins];
      float total = 0, inside = 0;
      for (int sb = 0; sb < kBins; ++sb) {
        total += static_cast<float>(row[sb]);
        inside += static_cast<float>(row[sb]) * inS[static_cast<std::size_t>(sb)];
      }
      if (inside == 0) continue;
      const double share = static_cast<double>(inside) / static_cast<double>(total);
      for (int l = lb << kShift; l < (lb + 1) << kShift; ++l) {
        out[static_cast<std::size_t>(l)] += share * exact[l];
      }
    }
  }
  return out;
}

std::array<double, kLevels> ColourHistogram::saturationsIn(const ColourBox& box) const {
  std::array<double, kLevels> out{};
  std::array<float, kBins> perBin{};
  std::array<float, kBins> totalPerBin{};
  for (int h = 0; h < kHues; ++h) {
    if (!box.hues[static_cast<std::size_t>(h)]) continue;
    const BinShares inL = sharesWithin(&lightness_[std::size_t{kLevels} * h], box.lightnessAbove,
                                       box.lightnessBelow);
    perBin.fill(0);
    totalPerBin.fill(0);
    for (int lb = 0; lb < kBins; ++lb) {
      const std::uint32_t* row = &joint_[(std::size_t{kBins} * h + lb) * kBins];
      const float share = inL[static_cast<std::size_t>(lb)];
      for (int sb = 0; sb < kBins; ++sb) {
        totalPerBin[static_cast<std::size_t>(sb)] += static_cast<float>(row[sb]);
        perBin[static_cast<std::size_t>(sb)] += static_cast<float>(row[sb]) * share;
      }
    }
    const std::uint32_t* exact = &saturation_[std::size_t{kLevels} * h];
    for (int sb = 0; sb < kBins; ++sb) {
      const auto b = static_cast<std::size_t>(sb);
      if (perBin[b] == 0) continue;
      const double share = static_cast<double>(perBin[b]) / static_cast<double>(totalPerBin[b]);
      for (int s = sb << kShift; s < (sb + 1) << kShift; ++s) {
        out[static_cast<std::size_t>(s)] += share * exact[s];
      }
    }
  }
  return out;
}

double ColourHistogram::pixelsIn(const ColourBox& box) const {
  const std::array<double, kHues> hues = huesIn(box);
  double sum = 0;
  for (int h = 0; h < kHues; ++h) {
    if (box.hues[static_cast<std::size_t>(h)]) sum += hues[static_cast<std::size_t>(h)];
  }
  return sum;
}

}  // namespace tesmic
