// The picture of one channel's histogram in the control panel.
#pragma once

#include <bitset>

#include <QImage>

#include "pass/hls_histograms.h"

namespace tesmic {

// The size the control panel draws each histogram at, unless its window is
// made wider.
inline constexpr int kHistogramWidth = 270;
inline constexpr int kHistogramHeight = 52;

// One channel's histogram (0 hue, 1 lightness, 2 saturation) over its
// values 0..kChannelTop[channel], left to right, in an image of this size:
// the whole image's counts in light grey, over them the counts of the
// pixels that pass the other two channels' tests, dark green where this
// channel's passing values lie (those pixels are marked) and dark grey
// elsewhere, on a background shaded green where the values pass. Heights go
// with the square root of the counts, so that small peaks still show. A
// strip along the bottom shows the channel's scale in colour. Needs no
// running toolkit.
QImage histogramImage(int channel, const ChannelCounts& all, const ChannelCounts& passingOthers,
                      const std::bitset<256>& passing, QSize size);

}  // namespace tesmic
