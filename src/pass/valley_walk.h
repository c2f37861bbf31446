// Where one bound goes: the valley of a histogram, walking away from the sample.
#pragma once

#include <vector>

namespace tesmic {

// One bound's candidate places (cuts), in order from the sample's median
// outward: cut i keeps the values up to the i-th step from the median and
// drops the rest on that side; the last cut drops nothing.
struct Walk {
  std::vector<double> density;       // the image's (smoothed) count per value at each cut
  std::vector<double> sampleLost;    // sample pixels each cut drops, never rising along the walk
  std::vector<double> excludedKept;  // excluded pixels that pass with each cut, never falling
  int firstAllowed = 0;              // the cuts the bound's range and the rule allow
  int lastAllowed = 0;
  int naturalEnd = -1;         // the cut that leaves the bound at its slider's end, if any
  double samplePeak = 0;       // the image's count per value where the sample lies
  double budget = 0;           // sample pixels the cut may drop
  double robustLoss = 0;       // what a cut may drop where no valley calls for it
  double excludedLimit = 0;    // excluded pixels that may pass
};

// The cut for the bound: the first valley along the walk deep enough to part
// the sample's colours from the rest, which it may drop some of the sample
// for, within budget; where the histogram thins out without one, where it
// has thinned; where it climbs far above its count where the sample lies
// (the rest of the image), or runs on without a valley, the emptiest
// allowed cut before that. Keeps excludedKept within excludedLimit where
// some allowed cut can, else takes the cut that keeps the fewest. Always one
// of firstAllowed..lastAllowed when that range has a cut within budget.
int chooseCut(const Walk& walk);

}  // namespace tesmic
