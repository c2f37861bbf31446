#include "ui/status_readouts.h"

#include <cstdio>

#include "pass/stopwatch.h"

namespace tesmic {

std::string passReadout(double seconds, double markedShare) {
  char share[64];
  std::snprintf(share, sizeof share, " | oznaceno %.2f %% pixelu", 100.0 * markedShare);
  return timingMessage(seconds) + share;
}

std::string sampleReadout(double sampleShare, double excludedShare, bool withExcluded) {
  char text[96];
  std::snprintf(text, sizeof text, ", %.1f %% vzorku", 100.0 * sampleShare);
  std::string readout = text;
  if (withExcluded) {
    std::snprintf(text, sizeof text, ", %.1f %% vyloucene oblasti", 100.0 * excludedShare);
    readout += text;
  }
  return readout;
}

std::string pixelReadout(int x, int y, const cv::Vec3b& hls, bool marked) {
  char text[96];
  std::snprintf(text, sizeof text, "x=%d y=%d | H=%d L=%d S=%d | %s", x, y, hls[0], hls[1],
                hls[2], marked ? "oznacen" : "neoznacen");
  return text;
}

}  // namespace tesmic
