// The readouts in the windows' status bars while the bounds are tuned.
#pragma once

#include <string>

#include <opencv2/core/matx.hpp>

namespace tesmic {

// The status bar of "Vysledek" after a pass: its time as the "Cas" line
// gives it and the share of the image marked, e.g.
// "Cas   0.00061234 | oznaceno 12.34 % pixelu".
std::string passReadout(double seconds, double markedShare);

// What the bounds mark of the areas dragged out as a sample, and of those
// to be left unmarked when there are any, to follow passReadout(), e.g.
// ", 97.2 % vzorku, 3.1 % vyloucene oblasti".
std::string sampleReadout(double sampleShare, double excludedShare, bool withExcluded);

// The pixel under the pointer: place, colour as loaded (before smoothing)
// and verdict, e.g. "x=120 y=45 | H=172 L=201 S=164 | oznacen".
std::string pixelReadout(int x, int y, const cv::Vec3b& hls, bool marked);

}  // namespace tesmic
