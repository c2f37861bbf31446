#include "pass/valley_walk.h"

#include <algorithm>
#include <limits>

namespace tesmic {
namespace {

// A valley must fall to half the peak before it, and the rise after it must
// double its floor; both by more than a noise allowance of a share of the
// sample's peak.
constexpr double kValleyDepth = 0.5;
constexpr double kNoiseShare = 0.02;
// Values within this share of a valley's depth count as its floor.
constexpr double kFloorShare = 0.05;
// A histogram that falls away without a valley ends where it has thinned to
// this share of its peak; below kNothing pixels a value it is empty.
constexpr double kTail = 0.03;
constexpr double kNothing = 0.5;
// A histogram that climbs to this many times its count where the sample
// lies holds far more than the sample's colour runs on into: the rest of
// the image, which the bound stays short of.
constexpr double kClimb = 3;

struct Range {
  int first;
  int last;
  bool empty() const { return first > last; }
};

// The cut within range that the floor of the valley between peakAt and
// endAt calls for: the middle of the flat floor, or the bound's natural end
// when the floor holds it.
int floorCut(const Walk& w, int peakAt, int endAt, double peak, Range allowed) {
  int lowest = peakAt;
  for (int i = peakAt; i <= endAt; ++i) {
    if (w.density[i] < w.density[lowest]) lowest = i;
  }
  const double tolerance = kFloorShare * (peak - w.density[lowest]);
  int from = lowest, to = lowest;
  while (from > peakAt && w.density[from - 1] <= w.density[lowest] + tolerance) --from;
  while (to < endAt && w.density[to + 1] <= w.density[lowest] + tolerance) ++to;
  if (to < allowed.first) return allowed.first;
  if (from > allowed.last) return allowed.last;
  from = std::max(from, allowed.first);
  to = std::min(to, allowed.last);
  if (w.naturalEnd >= from && w.naturalEnd <= to) return w.naturalEnd;
  return from + (to - from) / 2;
}

// The emptiest cut of range, the nearest to the sample among equals.
int emptiest(const Walk& w, Range range) {
  int best = range.first;
  for (int i = range.first; i <= range.last; ++i) {
    if (w.density[i] < w.density[best]) best = i;
  }
  return best;
}

}  // namespace

int chooseCut(const Walk& w) {
  const int n = static_cast<int>(w.density.size());
  // The budget allows the cuts from some point on, the excluded pixels those
  // up to some point.
  int first = std::max(w.firstAllowed, 0);
  while (first < w.lastAllowed && w.sampleLost[first] > w.budget) ++first;
  const double limit = std::max(w.excludedLimit, w.excludedKept[first]);
  int last = first;
  while (last < w.lastAllowed && w.excludedKept[last + 1] <= limit) ++last;
  const Range allowed{first, last};

  const double noise = kNoiseShare * w.samplePeak + 1;
  double peak = w.samplePeak;
  int peakAt = 0;
  double low = std::numeric_limits<double>::infinity();
  const auto deep = [&] { return low <= kValleyDepth * peak && peak - low >= noise; };
  int robust = first;
  while (robust < last && w.sampleLost[robust] > w.robustLoss) ++robust;
  for (int i = 0; i < n; ++i) {
    const double c = w.density[i];
    if (c > kClimb * w.samplePeak) {
      return emptiest(w, Range{robust, std::max(robust, std::min(i, last))});
    }
    if (c > peak) {
      peak = c;
      peakAt = i;
      low = std::numeric_limits<double>::infinity();
    }
    low = std::min(low, c);
    if (deep() && c - low >= std::max(low, noise)) {
      const int cut = floorCut(w, peakAt, i, peak, Range{0, n - 1});
      // A valley inside the sample, beyond what it may lose, parts two of
      // its own colours: walk on to the next.
      if (cut < first && cut >= w.firstAllowed) {
        peak = c;
        peakAt = i;
        low = std::numeric_limits<double>::infinity();
        continue;
      }
      return floorCut(w, peakAt, i, peak, allowed);
    }
  }
  if (deep()) {
    // The histogram thins out towards the axis's end without rising again:
    // the cut goes where it has thinned, or to the end when nothing lies
    // beyond; where it never thins that far, to the floor of its valley.
    int thin = peakAt;
    while (thin < n && w.density[thin] > kTail * peak) ++thin;
    bool nothingBeyond = true;
    for (int i = thin; i < n; ++i) nothingBeyond = nothingBeyond && w.density[i] < kNothing;
    const int cut = thin == n        ? floorCut(w, peakAt, n - 1, peak, Range{0, n - 1})
                    : nothingBeyond ? n - 1
                                    : thin;
    if (cut >= first || cut < w.firstAllowed) return std::clamp(cut, first, last);
  }
  // No valley: the sample's colours run on into the rest.
  return emptiest(w, Range{robust, last});
}

}  // namespace tesmic
