#include "pass/sample_fit.h"

#include <algorithm>
#include <array>
#include <climits>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <numeric>
#include <tuple>

#include "pass/area_colours.h"
#include "pass/colour_histogram.h"
#include "pass/valley_walk.h"

namespace tesmic {
namespace {

// The sample may lose 1 pixel in 20, the excluded areas keep 1 in 20.
constexpr std::uint64_t kShareDenominator = 20;
// Runs of hues that hold this share of the sample, the smallest first, are
// strays, no part of its colours, when gaps are sought for the hue band;
// lightness and saturation start from the sample's values less this share
// at each end. Together less than the sample may lose.
constexpr double kStrayHues = 0.03;
constexpr double kStrayEnd = 0.005;
// What a bound without a valley may drop of the sample.
constexpr double kRobustLoss = 0.01;
// Of the gaps that may hold the hue band, the one whose bounds mark fewest
// pixels wins, each count raised by this much for every share of the image's
// count where the sample lies that the fullest place cut holds: a bound that
// cuts through a full place cuts through colours the sample runs on into.
constexpr double kFullCutWeight = 4;
// Gaps tried for the hue band, the most populous first.
constexpr std::size_t kMaxGaps = 4;
constexpr int kMaxRounds = 8;
// A large sample or exclusion is searched by the colours of every k-th of
// its pixels, at most this many; the search then keeps kSearchKeep of the
// sample, and a little more each time the count over every pixel falls
// short of what must stay marked.
constexpr std::uint64_t kSearchPixels = std::uint64_t{1} << 18;
constexpr double kSearchKeep = 0.955;
constexpr double kSearchKeepStep = 0.01;
constexpr int kSearchAttempts = 3;
// Smoothing of the histograms the valleys are sought in, in values.
constexpr double kHueSigma = 1.0;
constexpr double kLevelSigma = 2.0;

enum Axis { kHue = 0, kLightness = 1, kSaturation = 2 };
constexpr int kAxisLength[3] = {kHues, kLevels, kLevels};

// A plain run of hues (first <= last) that the hue band may take, split at
// the seam between 180 and 0.
struct HueGap {
  int first;
  int last;
};

// The bounds while they are fitted, as open intervals lo < x < hi on each
// axis. Hue is counted from the middle of the gap (its pivot) upward around
// the circle, so that the band, which holds the pivot, is the two ends of
// the axis and the passing hues one interval.
struct State {
  std::array<int, 3> lo{-1, -1, -1};
  std::array<int, 3> hi{kHues, kLevels, kLevels};
  friend bool operator==(const State&, const State&) = default;
};

struct Family {
  bool band = false;  // without a gap every hue passes
  HueGap gap{0, 0};
  int pivot = 0;
};

int hueOnAxis(int hue, const Family& f) {
  return f.band ? (std::min(hue, kHues - 1) - f.pivot + kHues) % kHues : std::min(hue, kHues - 1);
}
int hueOffAxis(int u, const Family& f) { return f.band ? (u + f.pivot) % kHues : u; }

bool passes(const State& s, int axis, int x) { return x > s.lo[axis] && x < s.hi[axis]; }

// The three channels of a colour on the fit's axes.
std::array<int, 3> onAxes(const ColourCount& c, const Family& f) {
  return {hueOnAxis(c.hue, f), c.lightness, c.saturation};
}

// What one axis's bounds are fitted in: per value along the axis, the
// pixels that pass the other two axes' tests.
struct AxisCounts {
  std::vector<double> image;     // smoothed
  std::vector<double> sample;
  std::vector<double> excluded;
};

std::vector<double> countsOf(const ColourList& list, const State& s, const Family& f, int axis) {
  std::vector<double> counts(static_cast<std::size_t>(kAxisLength[axis]));
  for (const ColourCount& c : list.colours) {
    const std::array<int, 3> x = onAxes(c, f);
    bool others = true;
    for (int a = 0; a < 3; ++a) others = others && (a == axis || passes(s, a, x[a]));
    if (others) counts[static_cast<std::size_t>(x[axis])] += c.count;
  }
  return counts;
}

std::vector<double> smoothed(const std::vector<double>& v, double sigma, bool circular) {
  const int n = static_cast<int>(v.size());
  const int radius = static_cast<int>(std::ceil(3 * sigma));
  std::vector<double> kernel(static_cast<std::size_t>(2 * radius + 1));
  for (int k = -radius; k <= radius; ++k) {
    kernel[static_cast<std::size_t>(k + radius)] = std::exp(-0.5 * k * k / (sigma * sigma));
  }
  std::vector<double> out(v.size());
  for (int i = 0; i < n; ++i) {
    double sum = 0, weight = 0;
    for (int k = -radius; k <= radius; ++k) {
      int j = i + k;
      if (circular) {
        j = (j + n) % n;
      } else if (j < 0 || j >= n) {
        continue;
      }
      sum += kernel[static_cast<std::size_t>(k + radius)] * v[static_cast<std::size_t>(j)];
      weight += kernel[static_cast<std::size_t>(k + radius)];
    }
    out[static_cast<std::size_t>(i)] = sum / weight;
  }
  return out;
}

ColourBox boxOf(const State& s, const Family& f) {
  ColourBox box;
  for (int h = 0; h < kHues; ++h) {
    box.hues[static_cast<std::size_t>(h)] = passes(s, kHue, hueOnAxis(h, f));
  }
  box.lightnessAbove = s.lo[kLightness];
  box.lightnessBelow = s.hi[kLightness];
  box.saturationAbove = s.lo[kSaturation];
  return box;
}

AxisCounts axisCounts(const ColourHistogram& image, const ColourList& sample,
                      const ColourList& excluded, const State& s, const Family& f, int axis) {
  AxisCounts c;
  const ColourBox box = boxOf(s, f);
  if (axis == kHue) {
    const std::array<double, kHues> byHue = image.huesIn(box);
    const std::vector<double> round =
        smoothed(std::vector<double>(byHue.begin(), byHue.end()), kHueSigma, /*circular=*/true);
    c.image.resize(kHues);
    for (int u = 0; u < kHues; ++u) {
      c.image[static_cast<std::size_t>(u)] = round[static_cast<std::size_t>(hueOffAxis(u, f))];
    }
  } else {
    const std::array<double, kLevels> byLevel =
        axis == kLightness ? image.lightnessesIn(box) : image.saturationsIn(box);
    c.image = smoothed(std::vector<double>(byLevel.begin(), byLevel.end()), kLevelSigma,
                       /*circular=*/false);
  }
  c.sample = countsOf(sample, s, f, axis);
  c.excluded = countsOf(excluded, s, f, axis);
  return c;
}

AxisCounts mirrored(AxisCounts c) {
  std::reverse(c.image.begin(), c.image.end());
  std::reverse(c.sample.begin(), c.sample.end());
  std::reverse(c.excluded.begin(), c.excluded.end());
  return c;
}

// What every bound must leave: sample pixels to keep, excluded pixels that may pass.
struct Needs {
  double keep;
  double excludedLimit;
};

// The lower bound of an axis (values above it pass), the others fixed:
// upper is the axis's upper bound, maxBound the highest the lower bound may
// take, naturalBound the value at which it stands at its slider's end (or
// INT_MIN).
struct Placed {
  int bound;
  double fullness;  // the image's count at the cut, to that where the sample lies
};

Placed fitLowerBound(const AxisCounts& c, int lower, int upper, int maxBound, int naturalBound,
                     const Needs& needs) {
  const int n = static_cast<int>(c.image.size());
  // The walk starts at the sample's median among the pixels the other bounds pass.
  const double total = std::accumulate(c.sample.begin(), c.sample.end(), 0.0);
  if (total == 0) return {lower, 0};
  int median = 0;
  for (double below = 0; median < n - 1; ++median) {
    below += c.sample[static_cast<std::size_t>(median)];
    if (below > total / 2) break;
  }
  median = std::min(median, upper - 1);
  // The image's count where the middle of the sample lies.
  double seen = 0, peak = 0;
  for (int x = 0; x < n; ++x) {
    seen += c.sample[static_cast<std::size_t>(x)];
    if (seen >= 0.25 * total && seen - c.sample[static_cast<std::size_t>(x)] <= 0.75 * total) {
      peak = std::max(peak, c.image[static_cast<std::size_t>(x)]);
    }
  }
  double lostAbove = 0;  // to the upper bound
  for (int x = std::max(upper, 0); x < n; ++x) lostAbove += c.sample[static_cast<std::size_t>(x)];

  // Cut i puts the bound at median - 1 - i.
  const int cuts = median + 1;
  Walk w;
  w.density.resize(static_cast<std::size_t>(cuts));
  w.sampleLost.resize(static_cast<std::size_t>(cuts));
  w.excludedKept.resize(static_cast<std::size_t>(cuts));
  double lost = 0;
  for (int x = 0; x < median; ++x) lost += c.sample[static_cast<std::size_t>(x)];
  double kept = 0;
  for (int x = median; x < std::min(upper, n); ++x) kept += c.excluded[static_cast<std::size_t>(x)];
  for (int i = 0; i < cuts; ++i) {
    const int bound = median - 1 - i;
    const auto at = static_cast<std::size_t>(i);
    w.density[at] = bound >= 0 ? 0.5 * (c.image[static_cast<std::size_t>(bound)] +
                                         c.image[static_cast<std::size_t>(bound + 1)])
                               : c.image[0];
    w.sampleLost[at] = lost;
    w.excludedKept[at] = kept;
    if (bound >= 0) {
      lost -= c.sample[static_cast<std::size_t>(bound)];
      kept += c.excluded[static_cast<std::size_t>(bound)];
    }
  }
  w.firstAllowed = std::clamp(median - 1 - maxBound, 0, cuts - 1);
  w.lastAllowed = cuts - 1;
  w.naturalEnd = naturalBound == INT_MIN ? -1 : median - 1 - naturalBound;
  w.samplePeak = peak;
  w.budget = total - lostAbove - needs.keep;
  w.robustLoss = std::min(w.budget, kRobustLoss * total);
  w.excludedLimit = needs.excludedLimit;
  const int cut = chooseCut(w);
  const int chosen = median - 1 - cut;
  return {chosen, w.density[static_cast<std::size_t>(cut)] / std::max(peak, 1.0)};
}

// Moves both bounds of one axis to their valleys, the other axes fixed;
// notes how full the histogram is where each was put.
void fitAxis(const ColourHistogram& image, const ColourList& sample, const ColourList& excluded,
             const Family& f, const Needs& needs, int axis, State& s,
             std::array<double, 6>& fullness) {
  const AxisCounts c = axisCounts(image, sample, excluded, s, f, axis);
  const int n = kAxisLength[axis];
  int maxLo = n - 1, maxHi = n - 1, naturalLo = -1, naturalHi = -1;
  if (axis == kHue) {
    maxLo = f.gap.last - f.pivot;       // the gap's hues at the axis's start
    maxHi = f.pivot - f.gap.first - 1;  // and at its end, counted from there
    naturalLo = f.gap.last == kHues - 1 ? maxLo : INT_MIN;
    naturalHi = f.gap.first == 0 ? maxHi : INT_MIN;
  }
  const Placed lo = fitLowerBound(c, s.lo[axis], s.hi[axis], maxLo, naturalLo, needs);
  s.lo[axis] = lo.bound;
  fullness[static_cast<std::size_t>(2 * axis)] = lo.fullness;
  if (axis == kSaturation) return;  // saturation has no upper bound
  const Placed hi = fitLowerBound(mirrored(c), n - 1 - s.hi[axis], n - 1 - s.lo[axis], maxHi,
                                  naturalHi, needs);
  s.hi[axis] = n - 1 - hi.bound;
  fullness[static_cast<std::size_t>(2 * axis + 1)] = hi.fullness;
}

DetectionBounds boundsOf(const State& s, const Family& f) {
  DetectionBounds b;
  if (f.band) {
    b.HH = f.pivot + s.lo[kHue];
    b.HL = f.pivot + s.hi[kHue] - kHues;
  } else {
    b.HH = -1;
    b.HL = 0;
  }
  b.SH = s.lo[kLightness];
  b.SL = s.hi[kLightness];
  b.VH = s.lo[kSaturation];
  b.VL = -1;
  return b;
}

bool ruleHolds(const DetectionBounds& b, int h, int l, int s) {
  return (h > b.HH || h < b.HL) && l > b.SH && l < b.SL && l > b.VL && s > b.VH;
}

std::uint64_t marked(const ColourList& list, const DetectionBounds& b) {
  std::uint64_t n = 0;
  for (const ColourCount& c : list.colours) {
    if (ruleHolds(b, c.hue, c.lightness, c.saturation)) n += c.count;
  }
  return n;
}

double share(std::uint64_t part, std::uint64_t whole) {
  return whole == 0 ? 0.0 : static_cast<double>(part) / static_cast<double>(whole);
}

// The largest value v of a channel with at most `most` of the sample at or
// below it, and the smallest with at most `most` at or above it.
std::pair<int, int> strayEnds(const std::array<double, kLevels>& counts, double most) {
  int low = -1;
  for (double below = counts[0]; low + 1 < kLevels && below <= most; ++low) {
    if (low + 2 < kLevels) below += counts[static_cast<std::size_t>(low + 2)];
  }
  int high = kLevels;
  for (double above = 0; high > 0 && above + counts[static_cast<std::size_t>(high - 1)] <= most;
       --high) {
    above += counts[static_cast<std::size_t>(high - 1)];
  }
  return {low, high};
}

// The plain runs of hues that the sample's colours leave free, split at the
// seam, the most populous in the image first.
std::vector<HueGap> gapsOf(const ColourList& sample, const std::array<double, kHues>& imageHues) {
  std::array<double, kHues> counts{};
  for (const ColourCount& c : sample.colours) {
    counts[static_cast<std::size_t>(std::min<int>(c.hue, kHues - 1))] += c.count;
  }
  const auto at = [](int h) { return static_cast<std::size_t>((h + kHues) % kHues); };
  // The runs of hues the sample holds, around the circle from an empty hue;
  // the smallest runs are strays (a few pixels of the background caught by
  // the drag) as long as they add up to little.
  std::array<bool, kHues> taken{};
  int empty = 0;
  while (empty < kHues && counts[at(empty)] > 0) ++empty;
  if (empty == kHues) return {};
  struct Run {
    int first, last;
    double mass;
  };
  std::vector<Run> runs;
  for (int h = empty + 1; h < empty + kHues; ++h) {
    if (counts[at(h)] == 0) continue;
    Run run{h, h, 0};
    while (run.last < empty + kHues && counts[at(run.last)] > 0) run.mass += counts[at(run.last++)];
    --run.last;
    runs.push_back(run);
    h = run.last;
  }
  std::sort(runs.begin(), runs.end(), [](const Run& a, const Run& b) { return a.mass < b.mass; });
  double stray = 0;
  for (const Run& r : runs) {
    stray += r.mass;
    if (stray <= kStrayHues * static_cast<double>(sample.pixels)) continue;
    for (int h = r.first; h <= r.last; ++h) taken[at(h)] = true;
  }
  std::vector<HueGap> gaps;
  for (int h = 0; h < kHues;) {
    if (taken[static_cast<std::size_t>(h)]) {
      ++h;
      continue;
    }
    int end = h;
    while (end + 1 < kHues && !taken[static_cast<std::size_t>(end + 1)]) ++end;
    gaps.push_back({h, end});
    h = end + 1;
  }
  const auto mass = [&](const HueGap& g) {
    return std::accumulate(imageHues.begin() + g.first, imageHues.begin() + g.last + 1, 0.0);
  };
  std::sort(gaps.begin(), gaps.end(),
            [&](const HueGap& a, const HueGap& b) { return mass(a) > mass(b); });
  if (gaps.size() > kMaxGaps) gaps.resize(kMaxGaps);
  return gaps;
}

struct Candidate {
  DetectionBounds bounds;
  std::uint64_t sampleMarked = 0;
  std::uint64_t excludedMarked = 0;
  double imageMarked = 0;
  double fullestCut = 0;  // the fullest place of its histogram a bound cuts through
};

Candidate fitFamily(const ColourHistogram& image, const ColourList& sample,
                    const ColourList& excluded, const Family& f, const Needs& needs) {
  State s;
  if (f.band) {
    s.lo[kHue] = f.gap.last - f.pivot;
    s.hi[kHue] = kHues - (f.pivot - f.gap.first);
  }
  // Lightness and saturation start from the sample's own values, less a
  // stray pixel or two at either end.
  std::array<double, kLevels> lightness{}, saturation{};
  for (const ColourCount& c : sample.colours) {
    lightness[c.lightness] += c.count;
    saturation[c.saturation] += c.count;
  }
  const double most = kStrayEnd * static_cast<double>(sample.pixels);
  std::tie(s.lo[kLightness], s.hi[kLightness]) = strayEnds(lightness, most);
  s.lo[kSaturation] = strayEnds(saturation, most).first;
  if (static_cast<double>(marked(sample, boundsOf(s, f))) < needs.keep) {
    s.lo[kLightness] = s.lo[kSaturation] = -1;
    s.hi[kLightness] = kLevels;
  }
  std::array<double, 6> fullness{};
  for (int round = 0; round < kMaxRounds; ++round) {
    const State before = s;
    if (f.band) fitAxis(image, sample, excluded, f, needs, kHue, s, fullness);
    fitAxis(image, sample, excluded, f, needs, kLightness, s, fullness);
    fitAxis(image, sample, excluded, f, needs, kSaturation, s, fullness);
    if (s == before) break;
  }
  Candidate c;
  c.bounds = boundsOf(s, f);
  c.sampleMarked = marked(sample, c.bounds);
  c.excludedMarked = marked(excluded, c.bounds);
  c.imageMarked = image.pixelsIn(boxOf(s, f));
  c.fullestCut = *std::max_element(fullness.begin(), fullness.end());
  return c;
}

}  // namespace

SampleFit fitBoundsToSample(const cv::Mat& hls, const SampleAreas& areas, WorkerPool& workers) {
  CV_Assert(hls.type() == CV_8UC3);
  const AreaSpans spans = spansOfAreas(hls.size(), areas);
  const ColourList sample = coloursUnder(hls, spans.sample, kSearchPixels);
  const ColourList excluded = coloursUnder(hls, spans.excluded, kSearchPixels);
  SampleFit fit;
  const auto exactShares = [&](const DetectionBounds& b) {
    const auto rule = [&](int h, int l, int s) { return ruleHolds(b, h, l, s); };
    const PixelCount inSample = countUnder(hls, spans.sample, rule);
    const PixelCount inExcluded = countUnder(hls, spans.excluded, rule);
    fit.bounds = b;
    fit.sampleMarked = share(inSample.passing, inSample.pixels);
    fit.excludedMarked = share(inExcluded.passing, inExcluded.pixels);
    return inSample.passing * kShareDenominator >= inSample.pixels * (kShareDenominator - 1);
  };
  const DetectionBounds everything{-1, 0, -1, kLevels, -1, -1};
  if (sample.pixels == 0) {
    exactShares(everything);
    return fit;
  }

  const ColourHistogram image(hls, workers);
  std::vector<Family> families;
  for (const HueGap& g : gapsOf(sample, image.huesIn(ColourBox{}))) {
    families.push_back({true, g, (g.first + g.last) / 2});
  }
  if (families.empty()) families.push_back({});

  // Where the colours are those of every k-th pixel, the search keeps a
  // little more of the sample than it must, and the shares are counted
  // over every pixel after it; should those fall short, it keeps more.
  std::uint64_t samplePixels = 0;
  for (const RowSpan& r : spans.sample) samplePixels += static_cast<std::uint64_t>(r.x1 - r.x0);
  double keepShare = sample.pixels == samplePixels ? 1.0 - 1.0 / kShareDenominator : kSearchKeep;
  for (int attempt = 0; attempt < kSearchAttempts; ++attempt, keepShare += kSearchKeepStep) {
    // The least whole number of pixels that is at least that share.
    const Needs needs{std::ceil(keepShare * static_cast<double>(sample.pixels) - 1e-6),
                      static_cast<double>(excluded.pixels / kShareDenominator)};
    Candidate best;
    bool any = false;
    for (const Family& f : families) {
      const Candidate c = fitFamily(image, sample, excluded, f, needs);
      const auto rank = [&](const Candidate& x) {
        const bool leaks = static_cast<double>(x.excludedMarked) > needs.excludedLimit;
        return std::make_tuple(leaks, leaks ? x.excludedMarked : 0,
                               x.imageMarked * (1 + kFullCutWeight * x.fullestCut));
      };
      if (!any || rank(c) < rank(best)) best = c;
      any = true;
    }
    if (exactShares(best.bounds)) return fit;
  }
  exactShares(everything);
  return fit;
}

MarkedShares markedShares(const cv::Mat& hls, const SampleAreas& areas,
                          const DetectionBounds& bounds) {
  CV_Assert(hls.type() == CV_8UC3);
  const AreaSpans spans = spansOfAreas(hls.size(), areas);
  const auto rule = [&](int h, int l, int s) { return ruleHolds(bounds, h, l, s); };
  const PixelCount inSample = countUnder(hls, spans.sample, rule);
  const PixelCount inExcluded = countUnder(hls, spans.excluded, rule);
  return {share(inSample.passing, inSample.pixels), share(inExcluded.passing, inExcluded.pixels)};
}

}  // namespace tesmic
