// Bounds from a sample: the six bounds that mark the colour of the areas the
// user dragged over, and as little else as the rule can manage.
#pragma once

#include <vector>

#include <opencv2/core/mat.hpp>
#include <opencv2/core/types.hpp>

#include "pass/detection_bounds.h"
#include "pass/worker_pool.h"

namespace tesmic {

// Rectangles in image pixels (cv::Rect), clipped to the image by the fit
// itself; empty ones are ignored. Rectangles may overlap or repeat: each
// pixel counts once. A pixel inside both a sample and an excluded rectangle
// counts as excluded only (the exclusion is the later correction).
struct SampleAreas {
  std::vector<cv::Rect> sample;    // what must be marked (Shift+drag), one or more
  std::vector<cv::Rect> excluded;  // what must stay unmarked (Ctrl+Shift+drag), zero or more
};

struct SampleFit {
  DetectionBounds bounds;
  double sampleMarked = 0;    // share (0..1) of the sample's pixels these bounds mark
  double excludedMarked = 0;  // share (0..1) of the excluded areas' pixels they mark; 0 without any
};

// The six bounds for the colour of the sample, from histograms of hls
// (CV_8UC3, OpenCV's 8-bit HLS: hue 0..180, lightness and saturation
// 0..255; a hue above 180 counts as 180).
//
// One pass over hls on workers builds a joint histogram of hue, lightness
// and saturation; the search then works on histograms alone. Each bound goes
// to the emptiest place (the valley) of the histogram of the pixels that pass
// the other bounds, between the sample's colours and the rest of the image,
// so that the parts of the object the drag did not reach are marked too; the
// bounds are visited in turn until none moves. Where the histogram climbs
// from the sample's colours into a far larger mass without a valley between
// (a pale cloud beside the sky), the bound stays short of it. The hue band
// (HL..HH, both excluded) is placed in a gap between the sample's hues,
// which may wrap around red; where more than one gap could hold it, the one
// that marks the fewest pixels wins, a bound that cuts through a full part
// of its histogram counting against it. Near white and black, hue and
// saturation are unstable (a white highlight reads any hue and S up to
// 255): a sample there spreads over them, and lightness does the parting.
//
// At least 95 % of the sample's pixels stay marked. With excluded areas, at
// most 5 % of their pixels stay marked where the rule can do that while
// keeping the sample; otherwise the bounds mark as few of them as it can. The
// shares in the result are exact, counted pixel by pixel with these bounds.
// Areas of more than 2^18 pixels are searched by the colours of an even
// spread of that many of their pixels; the shares still count every pixel.
//
// The bounds lie within the sliders' ranges: HH -1..180, HL 0..181, SH, VH
// -1..255, SL 0..256; VL is -1 (SH alone bounds lightness from below). With
// no pixel in the sample (no rectangle, or all outside the image or
// excluded) the bounds pass every pixel: the sample's share is 0, the
// excluded areas' 1 (0 without any). Throws cv::Exception when hls is not
// CV_8UC3.
SampleFit fitBoundsToSample(const cv::Mat& hls, const SampleAreas& areas, WorkerPool& workers);

// The shares of SampleFit for any bounds: what share of the sample's pixels,
// and of the excluded ones, bounds mark, counted the same way as the fit
// counts them (each pixel once, excluded ones out of the sample). For the
// status bar after the bounds have been moved by hand.
struct MarkedShares {
  double sample = 0;
  double excluded = 0;
};
MarkedShares markedShares(const cv::Mat& hls, const SampleAreas& areas,
                          const DetectionBounds& bounds);

}  // namespace tesmic
